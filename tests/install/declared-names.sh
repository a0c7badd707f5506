#!/usr/bin/env bash
# Prints, one a line and sorted, every function and object that the installed public headers
# declare (those of <prefix>/include/qz, as qz/qz.h pulls them in). The names come from the C
# compiler itself rather than from reading the headers' text: functions from gcc's -aux-info
# list, which names the header of every prototype, and objects from the debugging information
# of a translation unit that keeps unused declarations, whose file table names their header.
# Inline functions defined in a header are not part of the library and are left out.
#   declared-names.sh <prefix>
set -euo pipefail
prefix=$1
incdir="$prefix/include"
qzdir=$(cd "$incdir/qz" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '#include <qz/qz.h>\n' >"$work/all.c"

# Functions: "/* <file>:<line>:NC */ extern <type> <name> (<args>);" - C stands for a
# declaration, F for a definition. The name is the first identifier followed by " (".
gcc -std=c11 -fsyntax-only -aux-info "$work/aux.txt" -I"$incdir" "$work/all.c"
awk -v dir="$qzdir/" '
  $1 == "/*" && index($2, dir) == 1 && $2 ~ /:[NO]C$/ {
    line = $0
    sub(/^\/\* [^ ]+ \*\/ /, "", line)
    if (match(line, /[A-Za-z_][A-Za-z0-9_]* \(/)) print substr(line, RSTART, RLENGTH - 2)
  }' "$work/aux.txt" >"$work/names.txt"

# Objects: external variable declarations in the debugging information, kept only when the
# file they are declared in lies in the qz header folder.
gcc -std=c11 -g -fno-eliminate-unused-debug-symbols -c -I"$incdir" -o "$work/all.o" "$work/all.c"
readelf --debug-dump=line "$work/all.o" >"$work/line.txt"
readelf --debug-dump=info "$work/all.o" >"$work/info.txt"
awk -v dir="$qzdir" '
  FNR == 1 { pass++ }
  pass == 1 && /The Directory Table/ { table = "dir"; next }
  pass == 1 && /The File Name Table/ { table = "file"; next }
  pass == 1 && /^ *$/ { table = "" }
  pass == 1 && table == "dir" && $1 ~ /^[0-9]+$/ { dirs[$1] = $NF }
  pass == 1 && table == "file" && $1 ~ /^[0-9]+$/ { fileDir[$1] = $2 }
  pass == 2 && /DW_TAG_/ {
    if (isVar && external && declaration && dirs[fileDir[file]] == dir) print name
    isVar = ($0 ~ /\(DW_TAG_variable\)/); name = ""; file = ""; external = 0; declaration = 0
  }
  pass == 2 && isVar && /DW_AT_name/ { name = $NF }
  pass == 2 && isVar && /DW_AT_decl_file/ { file = $NF }
  pass == 2 && isVar && /DW_AT_external/ { external = 1 }
  pass == 2 && isVar && /DW_AT_declaration/ { declaration = 1 }
  END { if (isVar && external && declaration && dirs[fileDir[file]] == dir) print name }
' "$work/line.txt" "$work/info.txt" >>"$work/names.txt"

sort -u "$work/names.txt"
