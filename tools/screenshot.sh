#!/usr/bin/env bash
# Makes docs/screenshot.png and docs/about.png: the main window at its design size and the
# about window, drawn with the offscreen platform on a small sample folder. Usage: tools/screenshot.sh (after ./dev.sh test or run)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cmake --build --preset default --target dirweaver_screenshot >/dev/null
sample=/tmp/dirweaver-screenshot/文档
rm -rf "$sample"
trap 'rm -rf /tmp/dirweaver-screenshot' EXIT
mkdir -p "$sample/图片" "$sample/reports"
printf 'x%.0s' $(seq 1 1200) >"$sample/报告 2002.doc"
printf 'notes\n' >"$sample/readme.txt"
printf 'y%.0s' $(seq 1 40000) >"$sample/photo.jpg"
printf '<html></html>\n' >"$sample/index.htm"
touch -d '2002-03-29 15:04:05' "$sample"/*
cd "$here"
TZ=Asia/Shanghai LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    build/default/tools/dirweaver_screenshot "$sample" docs/screenshot.png docs/about.png
echo "wrote docs/screenshot.png and docs/about.png"
