#!/usr/bin/env bash
# Run by the desktop entry test: checkdesktop.sh DESKTOP_FILE PROGRAM
# Installs the entry into a scratch data folder as a desktop would find it, checks that it is
# offered for folders, and has GLib's launcher (what GNOME's and other file managers' "Open
# with" use) open a folder whose name has a space and Chinese in it. The program it starts is
# a stand-in that runs PROGRAM with --write, so the page it writes shows which folder came.
set -euo pipefail
entry=$1 program=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/applications" "$work/bin" "$work/我的 文件"
echo hello >"$work/我的 文件/notes.txt"
cp "$entry" "$work/applications/"
cat >"$work/bin/dirweaver" <<STUB
#!/bin/sh
exec "$program" --write "$work/page.htm" --encoding utf-8 "\$@"
STUB
chmod +x "$work/bin/dirweaver"
# GLib hands the folder over even to an entry that takes none; other launchers do not.
grep -qE '^Exec=[^ ]+ (.* )?%[fF]( |$)' "$entry" || { echo "Exec takes no file (%f)"; exit 1; }
update-desktop-database "$work/applications"
grep -qx "inode/directory=$(basename "$entry");" "$work/applications/mimeinfo.cache" ||
    { echo "the entry is not offered for folders"; exit 1; }
PATH="$work/bin:$PATH" XDG_DATA_HOME="$work" XDG_DATA_DIRS="$work:/usr/share" \
    gio launch "$work/applications/$(basename "$entry")" "$work/我的 文件"
# The launcher does not wait for what it starts.
for _ in $(seq 100); do
    [ -s "$work/page.htm" ] && grep -q '</HTML>' "$work/page.htm" && break
    sleep 0.1
done
grep -qF "<A HREF=\"$work/我的 文件/notes.txt\">notes.txt</A>" "$work/page.htm" ||
    { echo "the folder did not reach the program whole"; cat "$work/page.htm"; exit 1; }
echo "opened: $work/我的 文件"
