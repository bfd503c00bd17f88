#!/usr/bin/env bash
# Checks that x86-64 Linux programs are hardened as Debian builds its
# packages, reading them with readelf (binutils): the Debian package's
# (dynamically linked, glibc) and the portable archive's (static, musl).
#   the programs   position-independent (the static one static-pie),
#                  relocations read-only after start (RELRO) and resolved at
#                  start (BIND_NOW); the dynamic one asks for stack canaries;
#   our objects    stack canaries, and the IBT and SHSTK marks; the dynamic
#                  program carries those marks too where the C library's start
#                  files have them (the linker keeps a mark only if every
#                  input has it).
# No call of ours has a checked (_FORTIFY_SOURCE) form: the one read goes
# into a buffer whose size only the run knows.
#   check_hardening.sh DYNAMIC_BUILD_DIR STATIC_BUILD_DIR
set -euo pipefail
dynamic=$(cd "$1" && pwd)
static=$(cd "$2" && pwd)
fail() { echo "hardening: $1"; exit 1; }
# shows PATTERN COMMAND...: COMMAND's output matches PATTERN (read whole
# first: grep -q leaving early would fail the pipe).
shows() { local out; out=$("${@:2}"); grep -Eq "$1" <<< "$out"; }

for program in "$dynamic/jamcrc" "$static/jamcrc"; do
    shows 'Type: *DYN' readelf -h "$program" || fail "$program is not position-independent"
    shows GNU_RELRO readelf -l "$program" || fail "$program has no RELRO segment"
    shows 'BIND_NOW|Flags: .*NOW' readelf -d "$program" || fail "$program does not bind at start"
done
if shows INTERP readelf -l "$static/jamcrc"; then fail "$static/jamcrc is not static"; fi
shows __stack_chk_fail readelf --dyn-syms -W "$dynamic/jamcrc" || fail "$dynamic/jamcrc has no stack canary"

# Our objects in each build: the driver's, named in the program's link
# command, and the register library's members.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for build in "$dynamic" "$static"; do
    objects=()
    for object in $(grep -o 'CMakeFiles/jamcrc_tool.dir/[^ ]*\.o' "$build/src/tool/CMakeFiles/jamcrc.dir/link.txt"); do
        objects+=("$build/src/tool/$object")
    done
    library="$build/src/register/libcrc32_register.a"
    mkdir -p "$work/${build##*/}"
    for member in $(ar t "$library"); do
        (cd "$work/${build##*/}" && ar p "$library" "$member" > "$member")
        objects+=("$work/${build##*/}/$member")
    done
    [ "${#objects[@]}" -gt 4 ] || fail "too few objects found in $build"
    for object in "${objects[@]}"; do
        shows 'x86 feature: IBT, SHSTK' readelf -n "$object" || fail "$object lacks the IBT and SHSTK marks"
    done
    shows __stack_chk_fail readelf -s -W "$build/src/tool/CMakeFiles/jamcrc_tool.dir/main.cpp.o" ||
        fail "the driver of $build has no stack canary"
done

start_files=$(${CXX:-c++} -print-file-name=Scrt1.o)
if shows 'x86 feature: IBT, SHSTK' readelf -n "$start_files"; then
    shows 'x86 feature: IBT, SHSTK' readelf -n "$dynamic/jamcrc" || fail "$dynamic/jamcrc lacks the IBT and SHSTK marks"
    echo "hardening: PIE (static-pie), RELRO, BIND_NOW, stack canaries, IBT and SHSTK"
else
    echo "hardening: PIE (static-pie), RELRO, BIND_NOW, stack canaries; IBT and SHSTK in every object of ours, but" \
        "not in the programs: the C libraries' start files ($start_files, and musl's) have no such marks"
fi
