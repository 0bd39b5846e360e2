#!/usr/bin/env bash
# Sets up, builds and runs Dirweaver on Debian 12.
#   ./dev.sh run [ARGS...]   install what is missing, build the program alone, start it
#   ./dev.sh test            install what is missing, check the sources' layout and floors,
#                            build, run every test (plain and under the address and undefined
#                            sanitizers), the threaded core under the thread sanitizer, then
#                            fuzz the page core for a minute
#   ./dev.sh package         build the Debian package build/default/package/dirweaver_*.deb
#   ./dev.sh bench [--big]   build, then time the page writer and the window on large folders
#                            (--big adds a folder of a million files); --slow: on a mirror
#                            whose every lookup takes 1 ms (FUSE); --cold: from a cold page
#                            cache (root)
# A second run installs nothing and only rebuilds what changed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
caller_dir=$PWD

build_packages=(cmake ninja-build g++ qt6-base-dev qt6-l10n-tools libssl-dev libcurl4-openssl-dev libgl-dev)
run_packages=(fonts-arphic-uming qt6-translations-l10n qt6-qpa-plugins)
# The corpus test parses pages with gumbo and opens them in Chromium; the fuzz run needs
# clang and its libFuzzer runtime; the source check, clang-format; one window test runs on a
# real X server; the manual pages are checked by groff; the package test makes the .deb
# (dpkg-dev, file), asks lintian, installs it with what it depends on and loads the
# completion as bash-completion does; the share test mounts the slow mirror (FUSE); the
# object-store test starts a one-node Ceph cluster with its S3 gateway, and fetches pages
# from it with curl.
test_packages=(desktop-file-utils appstream pkgconf libgumbo-dev chromium clang libclang-rt-14-dev
    clang-format xvfb xauth xclip groff-base lintian bash-completion dpkg-dev file fuse3 libfuse3-dev
    libglib2.0-bin python3 ceph-mon ceph-mgr ceph-osd radosgw ceph-common curl
    "${run_packages[@]}")

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages that dpkg does not list as installed; nothing when all are there.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "dev.sh: installing ${missing[*]}" >&2
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
    local preset=$1
    cd "$here"
    [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}

case "${1:-}" in
run)
    shift
    ensure_packages "${build_packages[@]}" "${run_packages[@]}"
    # Only the program and its window module: tests, benchmarks and tools wait for
    # ./dev.sh test. Ninja shows its progress on the terminal.
    cd "$here"
    if [ ! -x build/default/app/dirweaver ]; then
        echo "dev.sh: building Dirweaver into build/default; the first build takes a few minutes" >&2
    fi
    [ -f build/default/build.ninja ] || cmake --preset default >/dev/null
    cmake --build build/default --target dirweaver dirweaver_window
    # The window opens on the folder the command was typed in, or on the one given.
    cd "$caller_dir"
    exec "$here/build/default/app/dirweaver" "$@"
    ;;
test)
    ensure_packages "${build_packages[@]}" "${run_packages[@]}" ${test_packages[@]+"${test_packages[@]}"}
    # A file clang-format would change, or an include that runs up a floor, fails at once.
    "$here/tools/check-source.sh"
    build default
    ctest --preset default
    # The same suite under the address and undefined-behaviour sanitizers.
    build sanitize
    ctest --preset sanitize
    # The suites that run the core's threads, under the thread sanitizer.
    build tsan
    ctest --preset tsan
    # The page core under libFuzzer for a minute, starting from the kept corpus.
    build fuzz
    ctest --preset fuzz
    ;;
package)
    # The .deb of the program, with what it needs listed as dependencies: only what it holds
    # is built (no tests, no benchmarks), with Ninja's progress on the terminal.
    ensure_packages "${build_packages[@]}" dpkg-dev file
    cd "$here"
    [ -f build/default/build.ninja ] || cmake --preset default >/dev/null
    if [ ! -x build/default/app/dirweaver ]; then
        echo "dev.sh: building the package's files into build/default; the first build takes a few minutes" >&2
    fi
    cmake --build build/default --target dirweaver dirweaver_window dirweaver_docs dirweaver_changelog
    cd "$here/build/default"
    rm -rf package
    echo "dev.sh: making the package" >&2
    cpack >/dev/null
    echo "dev.sh: $(echo "$here"/build/default/package/dirweaver_*.deb)"
    ;;
bench)
    # The slow mirror needs libfuse3; tree -H is timed beside the writer on it and its
    # pages beside the table page in Chromium, driven from Python; a bucket's pages are timed
    # on a Ceph gateway beside rclone's listing of it.
    ensure_packages "${build_packages[@]}" fuse3 libfuse3-dev tree python3 chromium \
        ceph-mon ceph-mgr ceph-osd radosgw ceph-common curl rclone
    # A build configured before libfuse3 was there is configured again to find it.
    if [ -f "$here/build/default/build.ninja" ] && [ ! -x "$here/build/default/bench/bench_slowfs" ]; then
        cmake --preset default >/dev/null
    fi
    build default >/dev/null
    shift
    exec "$here/bench/run.sh" "$here/build/default" "$@"
    ;;
*)
    echo "usage: ./dev.sh run [ARGS...] | ./dev.sh test | ./dev.sh package | ./dev.sh bench [--big|--slow|--cold|--bucket]" >&2
    exit 2
    ;;
esac
