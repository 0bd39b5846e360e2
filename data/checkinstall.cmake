# Run by the install test: cmake -DBUILD_DIR= -DPREFIX= -DAPP_ID= -DBINDIR= -DLIBDIR=
# -DDATADIR= -DMANDIR= -P checkinstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

foreach(file
        ${BINDIR}/dirweaver
        ${LIBDIR}/dirweaver/dirweaver-window.so
        ${DATADIR}/applications/${APP_ID}.desktop
        ${DATADIR}/metainfo/${APP_ID}.metainfo.xml
        ${DATADIR}/icons/hicolor/scalable/apps/${APP_ID}.svg
        ${DATADIR}/icons/hicolor/48x48/apps/${APP_ID}.png
        ${MANDIR}/man1/dirweaver.1.gz
        ${MANDIR}/zh_CN/man1/dirweaver.1.gz
        ${DATADIR}/bash-completion/completions/dirweaver
        ${DATADIR}/doc/dirweaver/copyright
        ${DATADIR}/doc/dirweaver/changelog.gz)
    if(NOT EXISTS ${PREFIX}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()

# The installed window keeps running until stopped: it found and loaded its module.
execute_process(COMMAND timeout 3 ${PREFIX}/${BINDIR}/dirweaver ${PREFIX}
    RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 124)
    message(FATAL_ERROR "the installed program did not keep its window open (${status}): ${errors}")
endif()
