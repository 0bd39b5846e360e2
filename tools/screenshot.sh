#!/usr/bin/env bash
# Makes docs/screenshot.png and docs/about.png: the main window at its design size and the
# about window (and -en, the same in English; screenshot-max and -en-max, maximised), drawn with the offscreen platform on a small sample folder; and docs/tree.png,
# a page that --tree wrote for that folder, as Chromium shows it; docs/table-*.png, the table
# page of a folder three levels down, light and dark, 1280 and 360 px wide.
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
TZ=Asia/Shanghai LC_ALL=en_US.UTF-8 QT_QPA_PLATFORM=offscreen \
    build/default/tools/dirweaver_screenshot "$sample" docs/screenshot-en.png docs/about-en.png
# Maximised on a 1280 x 800 screen, less a title bar and a panel.
for lang in C en_US; do
    suffix=max
    [ "$lang" = en_US ] && suffix=en-max
    TZ=Asia/Shanghai LC_ALL=$lang.UTF-8 QT_QPA_PLATFORM=offscreen DIRWEAVER_SHOT_SIZE=1280x740 \
        build/default/tools/dirweaver_screenshot "$sample" "docs/screenshot-$suffix.png"
done
echo "wrote docs/screenshot{,-en,-max,-en-max}.png and docs/about{,-en}.png"

# The sample's own index.htm, shown in the window above, gives way to the tree's page.
TZ=Asia/Shanghai LC_ALL=C.UTF-8 build/default/app/dirweaver --tree --force --name index.htm "$sample" 2>/dev/null
profile=$(mktemp -d)
chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$profile" \
    --window-size=900,360 --screenshot="$here/docs/tree.png" "file://$sample/图片/index.htm" \
    2>/dev/null
rm -rf "$profile"
echo "wrote docs/tree.png"

# Numbered names (shown in number order), a name with a run of spaces, sizes of every scale.
spring="$sample/图片/2002 春"
size=700
for n in 1 2 3 9 10 11 12 20 100; do
    head -c "$size" /dev/zero >"$spring/西湖 IMG_$n.jpg"
    size=$((size * 3 + 517))
done
head -c 1048576 /dev/zero >"$spring/游记  第一天.txt"
head -c 52428800 /dev/zero >"$spring/西湖.mp4"
mkdir -p "$spring/原图"
touch -d '2002-03-29 15:04:05' "$spring"/* "$spring"
TZ=Asia/Shanghai LC_ALL=C.UTF-8 build/default/app/dirweaver --tree --style table --date modified --exclude index.htm \
    --name table.htm "$sample" 2>/dev/null
for look in light dark; do
    dark=()
    [ "$look" = dark ] && dark=(--force-dark-mode)
    for width in wide narrow; do
        size=1280,720
        [ "$width" = narrow ] && size=360,740
        profile=$(mktemp -d)
        chromium --headless --no-sandbox --disable-gpu --no-first-run \
            --disable-background-networking --disable-component-update --disable-sync \
            --hide-scrollbars --user-data-dir="$profile" "${dark[@]}" --window-size="$size" \
            --screenshot="$here/docs/table-$width-$look.png" "file://$spring/table.htm" \
            2>/dev/null
        rm -rf "$profile"
    done
done
echo "wrote docs/table-{wide,narrow}-{light,dark}.png"
