# The Debian package: `./dev.sh package` (cpack in build/default) makes
# dirweaver_VERSION_ARCH.deb from the install rules, with the libraries' packages found by
# dpkg-shlibdeps and the window's fonts, translations and display plugins as dependencies.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^dirweaver \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "data/changelog does not start with version ${PROJECT_VERSION}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dirweaver)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Dirweaver developers")
set(CPACK_PACKAGE_CONTACT "The Dirweaver developers <${DIRWEAVER_CONTACT}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn the files of a folder into an HTML page of links")
# The summary is the control file's first line; this is what follows it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Dirweaver lists the files of one folder as links on an HTML page: from a
window where the kinds of files, the look of the links, the size, the date
and three titles are chosen, the page's source is shown, saved as a GBK or
UTF-8 .htm file or previewed in the browser; or from the command line, one
page or a page in every folder of a tree, in the classic style or as one
sortable, searchable table page.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, qt6-translations-l10n, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
