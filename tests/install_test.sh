#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed tree: the files, no path
# of the source tree in the programs, the freedesktop files, and that the installed program
# starts with an empty HOME and seeds the user's folder from the installed data.
# install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
prefix=$(mktemp -d)
home=$(mktemp -d)
work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$prefix" "$home" "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.tastrello.Tastrello
for f in bin/tastrello bin/tastrello-convert \
  share/tastrello/Data/Tastrel.Ini share/tastrello/Data/Keymap.txt \
  share/tastrello/Notes/Notes_G-C-F.txt share/tastrello/Notes/Notes_B-Es-As.txt \
  share/sounds/sf2/tastrello-reeds.sf2 \
  "share/tastrello/Records/Lessons_2 Alle meine Entchen.txt" \
  share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
  share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
  share/icons/hicolor/256x256/apps/$id.png share/man/man1/tastrello.1.gz \
  share/man/man1/tastrello-convert.1.gz share/doc/tastrello/copyright; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
for program in tastrello tastrello-convert; do
  if strings -d "$prefix/bin/$program" | grep -qF "$source"; then
    echo "$program holds a path of the source tree"
    exit 1
  fi
done
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null

# Started as from the menu: an empty HOME, not in a portable folder.
cd "$work"
HOME="$home" XDG_DATA_HOME="" QT_QPA_PLATFORM=offscreen "$prefix/bin/tastrello" >/dev/null 2>&1 &
pid=$!
seeded="$home/.local/share/Tastrello/Tastrello"
for _ in $(seq 300); do
  [ -e "$seeded/Data/Offered.txt" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "the installed program ended at start"; exit 1; }
  sleep 0.1
done
[ -e "$seeded/Data/Offered.txt" ] || { echo "the user's folder was not seeded"; exit 1; }
for f in Data/Tastrel.Ini Data/Keymap.txt Notes/Notes_G-C-F.txt \
  "Records/Lessons_2 Alle meine Entchen.txt"; do
  [ -e "$seeded/$f" ] || { echo "not seeded: $f"; exit 1; }
done
kill -0 "$pid" 2>/dev/null || { echo "the installed program did not keep running"; exit 1; }

# The installed converter finds the installed layouts.
"$prefix/bin/tastrello-convert" "$seeded/Records/Lessons_2 Alle meine Entchen.txt" \
  "$work/lesson.svg" >/dev/null
[ -s "$work/lesson.svg" ]
echo "installed tree, freedesktop files, start and seeding: all right"
