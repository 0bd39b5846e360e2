#!/usr/bin/env bash
# Run by the package test: checkpackage.sh BUILD_DIR
# Makes the .deb, checks its files in a scratch root and asks lintian for errors; as root,
# installs it, runs the installed program, and removes it again, leaving nothing behind.
set -euo pipefail
build=$1
cd "$build"
rm -rf package
cpack >/dev/null
deb=$(echo package/dirweaver_*.deb)
[ -f "$deb" ] || { echo "no package made"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

expected="./usr/bin/dirweaver
./usr/lib/dirweaver/dirweaver-window.so
./usr/share/applications/org.example.dirweaver.desktop
./usr/share/bash-completion/completions/dirweaver
./usr/share/doc/dirweaver/changelog.gz
./usr/share/doc/dirweaver/copyright
./usr/share/icons/hicolor/48x48/apps/org.example.dirweaver.png
./usr/share/icons/hicolor/scalable/apps/org.example.dirweaver.svg
./usr/share/man/man1/dirweaver.1.gz
./usr/share/man/zh_CN/man1/dirweaver.1.gz
./usr/share/metainfo/org.example.dirweaver.metainfo.xml"
dpkg-deb -x "$deb" "$scratch/root"
files=$(cd "$scratch/root" && find . -type f | LC_ALL=C sort)
if [ "$files" != "$expected" ]; then
    echo "the package holds:"; echo "$files"; echo "expected:"; echo "$expected"
    exit 1
fi

if command -v lintian >/dev/null; then
    report=$(lintian "$deb" 2>/dev/null || true)
    echo "$report"
    if grep -q '^E:' <<<"$report"; then
        echo "lintian reports errors"
        exit 1
    fi
else
    echo "lintian is not installed (./dev.sh test installs it): not run"
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "not root: the package is not installed"
    exit 0
fi
if dpkg-query -W -f='${Status}' dirweaver 2>/dev/null | grep -q 'ok installed'; then
    echo "a dirweaver package is already installed: left alone, not installed again"
    exit 0
fi
trap 'dpkg --purge dirweaver >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
dpkg -i "$deb" >/dev/null
/usr/bin/dirweaver --version | grep -q '^Dirweaver V'
mkdir "$scratch/folder" && echo x >"$scratch/folder/a.txt"
/usr/bin/dirweaver --write "$scratch/page.htm" "$scratch/folder"
grep -q 'a.txt</A>' "$scratch/page.htm"
# The window finds its module and keeps running until stopped.
status=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/dirweaver "$scratch/folder" 2>/dev/null || status=$?
[ "$status" -eq 124 ] || { echo "the installed window did not stay open ($status)"; exit 1; }
# A new bash finds the completion where bash-completion loads it from.
if [ -f /usr/share/bash-completion/bash_completion ]; then
    bash -c '. /usr/share/bash-completion/bash_completion && __load_completion dirweaver &&
        complete -p dirweaver' | grep -q _dirweaver
fi
# The manual pages where man looks for them, unless dpkg is told to leave them out.
if ! grep -qs '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
    [ "$(man -w dirweaver)" = /usr/share/man/man1/dirweaver.1.gz ]
    [ "$(LANGUAGE= LC_ALL=zh_CN.UTF-8 man -w dirweaver 2>/dev/null)" = \
        /usr/share/man/zh_CN/man1/dirweaver.1.gz ] || [ "$(man -L zh_CN -w dirweaver)" = \
        /usr/share/man/zh_CN/man1/dirweaver.1.gz ]
fi
dpkg --purge dirweaver >/dev/null
while read -r file; do
    if [ -e "/${file#./}" ]; then
        echo "left behind: /${file#./}"
        exit 1
    fi
done <<<"$expected"
[ ! -e /usr/lib/dirweaver ] || { echo "left behind: /usr/lib/dirweaver"; exit 1; }
echo "installed, run and removed"
