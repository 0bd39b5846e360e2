#!/usr/bin/env bash
# Makes docs/screenshot.png and docs/about.png: the main window at its design size and the
# about window, drawn with the offscreen platform on a small sample folder; and docs/tree.png,
# a page that --tree wrote for that folder, as Chromium shows it.
# Usage: tools/screenshot.sh (after ./dev.sh test or run)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cmake --build --preset default --target dirweaver_screenshot >/dev/null
sample=/tmp/dirweaver-screenshot/文档
rm -rf "$sample"
trap 'rm -rf /tmp/dirweaver-screenshot' EXIT
mkdir -p "$sample/图片/2002 春" "$sample/reports"
printf 'x%.0s' $(seq 1 1200) >"$sample/报告 2002.doc"
printf 'notes\n' >"$sample/readme.txt"
printf 'y%.0s' $(seq 1 40000) >"$sample/photo.jpg"
printf '<html></html>\n' >"$sample/index.htm"
printf 'z%.0s' $(seq 1 250000) >"$sample/图片/西湖 IMG_0012.jpg"
printf 'z%.0s' $(seq 1 180000) >"$sample/图片/断桥 IMG_0013.jpg"
touch -d '2002-03-29 15:04:05' "$sample"/* "$sample"/图片/*
cd "$here"
TZ=Asia/Shanghai LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    build/default/tools/dirweaver_screenshot "$sample" docs/screenshot.png docs/about.png
echo "wrote docs/screenshot.png and docs/about.png"

TZ=Asia/Shanghai LC_ALL=C.UTF-8 build/default/app/dirweaver --tree --name index.htm "$sample" 2>/dev/null
profile=$(mktemp -d)
chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$profile" \
    --window-size=900,360 --screenshot="$here/docs/tree.png" "file://$sample/图片/index.htm" \
    2>/dev/null
rm -rf "$profile"
echo "wrote docs/tree.png"
