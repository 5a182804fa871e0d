#!/bin/sh
# Runs a copy of a test program from a folder whose name is not UTF-8 ("lat" 0xE9 "n"), beside
# the shipped resources, with junk icon files in the parent folder as decoys: the program must
# find its own folder, not the parent.
#   run_in_odd_folder.sh <program> <resources folder> [program arguments]
set -eu
exe=$1
resources=$2
shift 2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
folder="$root/$(printf 'lat\351n')"
mkdir -p "$folder/resources" "$root/resources"
cp "$exe" "$folder/"
for icon in "$resources"/*.ico; do
  cp "$icon" "$folder/resources/"
  printf 'junk, not an icon' >"$root/resources/$(basename "$icon")"
done
"$folder/$(basename "$exe")" "$@"
