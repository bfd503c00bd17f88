#!/usr/bin/env bash
# Checks that an x86-64 Linux build's programs are hardened as Debian builds its
# packages, reading them with readelf (binutils):
#   both programs  position-independent, relocations read-only after start
#                  (RELRO) and resolved at start (BIND_NOW);
#   our objects    stack canaries, and the IBT and SHSTK marks; the programs
#                  carry those marks too where the C library's start files
#                  have them (the linker keeps a mark only if every input has
#                  it).
# No call of ours has a checked (_FORTIFY_SOURCE) form: the one read goes
# into a buffer whose size only the run knows.
#   check_hardening.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
fail() { echo "hardening: $1"; exit 1; }
# shows PATTERN COMMAND...: COMMAND's output matches PATTERN (read whole
# first: grep -q leaving early would fail the pipe).
shows() { local out; out=$("${@:2}"); grep -Eq "$1" <<< "$out"; }

for program in "$build/jamcrc" "$build/static/jamcrc"; do
    shows 'Type: *DYN' readelf -h "$program" || fail "$program is not position-independent"
    shows GNU_RELRO readelf -l "$program" || fail "$program has no RELRO segment"
    shows 'BIND_NOW|Flags: .*NOW' readelf -d "$program" || fail "$program does not bind at start"
done
shows __stack_chk_fail readelf --dyn-syms -W "$build/jamcrc" || fail "$build/jamcrc has no stack canary"

# Our objects: the driver's, named in the program's link command, and the
# register library's members.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
objects=()
for object in $(grep -o 'CMakeFiles/jamcrc_tool.dir/[^ ]*\.o' "$build/src/tool/CMakeFiles/jamcrc.dir/link.txt"); do
    objects+=("$build/src/tool/$object")
done
library="$build/src/register/libcrc32_register.a"
for member in $(ar t "$library"); do
    (cd "$work" && ar p "$library" "$member" > "$member")
    objects+=("$work/$member")
done
[ "${#objects[@]}" -gt 4 ] || fail "too few objects found in $build"
for object in "${objects[@]}"; do
    shows 'x86 feature: IBT, SHSTK' readelf -n "$object" || fail "$(basename "$object") lacks the IBT and SHSTK marks"
done
shows __stack_chk_fail readelf -s -W "$build/src/tool/CMakeFiles/jamcrc_tool.dir/main.cpp.o" ||
    fail "the driver has no stack canary"

start_files=$(${CXX:-c++} -print-file-name=Scrt1.o)
if shows 'x86 feature: IBT, SHSTK' readelf -n "$start_files"; then
    for program in "$build/jamcrc" "$build/static/jamcrc"; do
        shows 'x86 feature: IBT, SHSTK' readelf -n "$program" || fail "$program lacks the IBT and SHSTK marks"
    done
    echo "hardening: PIE, RELRO, BIND_NOW, stack canaries, IBT and SHSTK"
else
    echo "hardening: PIE, RELRO, BIND_NOW, stack canaries; IBT and SHSTK in every object of ours, but not in" \
        "the programs: this C library's start files ($start_files) have no such marks"
fi
