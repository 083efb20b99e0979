#!/usr/bin/env bash
# Fails when a source file includes a header of a floor above its own.
#
# The floors, lowest first: rtl; bitmap and shell; core; app; platforms;
# importers. A Qt-free file includes headers of its own folder and of lower
# floors only, and never a qt/ header nor a Qt one. A qt/ half sits on top of
# every Qt-free folder and includes the qt/ halves of its own floor and below.
#
# Usage: check_include_direction.sh <source root>
set -u
root=${1:?source root}
cd "$root" || exit 2

files=()
for folder in rtl bitmap shell core app platforms importers; do
  for file in "$folder"/*.h "$folder"/*.cpp "$folder"/qt/*.h "$folder"/qt/*.cpp; do
    [[ -f $file ]] && files+=("$file")
  done
done
((${#files[@]})) || { echo "no sources under $root"; exit 2; }

awk '
BEGIN {
  floor["rtl"] = 0; floor["bitmap"] = 1; floor["shell"] = 1; floor["core"] = 2
  floor["app"] = 3; floor["platforms"] = 4; floor["importers"] = 5
}
function report(what) { print FILENAME ": " what; wrong++ }
FNR == 1 {
  checked++
  split(FILENAME, part, "/")
  folder = part[1]; qt = (part[2] == "qt"); own = floor[folder]
}
/^[ \t]*#[ \t]*include[ \t]*</ {
  if (!qt && match($0, /<(Q[A-Za-z]*|qt[^\/]*\/)[^>]*>/)) report("includes a Qt header: " $0)
  next
}
/^[ \t]*#[ \t]*include[ \t]*"/ {
  path = $0
  sub(/^[^"]*"/, "", path); sub(/".*$/, "", path)
  if (index(path, "/") == 0) next  # beside the file
  top = path; sub(/\/.*$/, "", top)
  rest = substr(path, length(top) + 2)
  if (!(top in floor)) { report("includes " path ", outside the library folders"); next }
  theirs = floor[top]
  if (rest ~ /^qt\//) {
    if (!qt) report("includes the qt/ header " path " in a Qt-free file")
    else if (theirs > own) report("includes " path ", a qt/ half above its own")
  } else if (!qt && top != folder && theirs >= own) {
    report("includes " path " of the floor " theirs " from the floor " own)
  }
}
END {
  print wrong + 0 " includes point the wrong way (" checked " files checked)"
  exit wrong > 0
}
' "${files[@]}"
