#!/usr/bin/env bash
# Times whole runs of the built tool: a generated 1 GiB file read cold (evicted
# from the page cache before every run) and cached, each run interleaved with
# `cat` and, where installed, 7-Zip's `h` reading the same file, then a 9-byte
# file beside the static build and a minimal C program doing the same steps
# (start-up cost). Prints each run and the medians.
#
#   bench/whole_file.sh [TOOL] [RUNS] [USER] [OTHER]
#     defaults: build/release/jamcrc, 9; the static program (the portable
#     archive's) is build/musl/jamcrc
# With USER (run as root), the tool also reads the file as that user, who
# neither owns it nor may write it, in turn with the other readers. OTHER is
# another build of the tool (the one before a change, say), timed in the same
# rounds as TOOL, as the same users.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(realpath "${1:-build/release/jamcrc}")
static_tool=$(realpath build/musl/jamcrc)
runs=${2:-9}
as_user=${3:-}
other=${4:+$(realpath "$4")}
work=$(mktemp -d)
chmod 755 "$work"  # the file is the owner's, readable by all
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# time_runs LABEL COMMAND...: wall seconds and peak resident KiB of each run.
time_runs() {
    local label=$1 i
    shift
    : > "$work/times"
    for i in $(seq "$runs"); do
        /usr/bin/time -f "%e %M" -a -o "$work/times" "$@" > /dev/null
    done
    printf '%-28s median %6.3f s wall, peak %8d KiB  (runs: %s)\n' "$label" \
        "$(cut -d' ' -f1 "$work/times" | median)" "$(cut -d' ' -f2 "$work/times" | median)" \
        "$(cut -d' ' -f1 "$work/times" | tr '\n' ' ')"
}

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(nproc) cores"
echo "tool: $tool"

head -c $((1 << 30)) /dev/urandom > "$work/1GiB"
sync "$work/1GiB"
echo "1 GiB file: $((1 << 30)) bytes = $((1 << 20)) KiB"

# Out of the page cache (POSIX_FADV_DONTNEED): the next read goes to the disk.
evict() { dd if="$1" iflag=nocache count=0 status=none; }

# The programs that read the file, by label: jamcrc, cat, and 7-Zip if here.
readers=(jamcrc cat)
[ -n "$as_user" ] && readers+=("jamcrc-as-$as_user")
[ -n "$other" ] && readers+=(other)
[ -n "$other" ] && [ -n "$as_user" ] && readers+=("other-as-$as_user")
sevenzip=$(command -v 7zz || command -v 7z || true)
[ -n "$sevenzip" ] && readers+=(7-zip)
# command_for READER: the command that reads the file, into cmd.
command_for() {
    case $1 in
        jamcrc) cmd=("$tool" "$work/1GiB") ;;
        cat) cmd=(cat "$work/1GiB") ;;
        7-zip) cmd=("$sevenzip" h -scrcCRC32 "$work/1GiB") ;;
        other) cmd=("$other" "$work/1GiB") ;;
        jamcrc-as-* | other-as-*)
            local program=$tool
            [ "${1%%-as-*}" = other ] && program=$other
            cmd=(setpriv --reuid="$(id -u "$as_user")" --regid="$(id -g "$as_user")" --clear-groups
                 "$program" "$work/1GiB") ;;
    esac
}

# interleaved MODE: every reader once per round, RUNS rounds, then each one's
# median; MODE cold evicts the file before every read, cached reads it first.
interleaved() {
    local mode=$1 round reader
    for reader in "${readers[@]}"; do : > "$work/$mode-$reader"; done
    for round in $(seq "$runs"); do
        for reader in "${readers[@]}"; do
            if [ "$mode" = cold ]; then evict "$work/1GiB"; else cat "$work/1GiB" > /dev/null; fi
            command_for "$reader"
            # Wall time to the microsecond (time's own %e has 10 ms steps).
            local start=$EPOCHREALTIME peak
            peak=$(/usr/bin/time -f "%M" "${cmd[@]}" 2>&1 > /dev/null | tail -n 1)
            echo "$(awk "BEGIN { print $EPOCHREALTIME - $start }") $peak" >> "$work/$mode-$reader"
        done
    done
    for reader in "${readers[@]}"; do
        printf '%-28s median %6.3f s wall, peak %8d KiB  (runs: %s)\n' "$reader, 1 GiB $mode" \
            "$(cut -d' ' -f1 "$work/$mode-$reader" | median)" "$(cut -d' ' -f2 "$work/$mode-$reader" | median)" \
            "$(cut -d' ' -f1 "$work/$mode-$reader" | tr '\n' ' ')"
    done
}
interleaved cold
interleaved cached

# Start-up: a 9-byte file, many runs, against the least C that does the job.
cc -O2 -o "$work/minimal" bench/minimal_checksum.c
printf 123456789 > "$work/9B"
if command -v hyperfine > /dev/null; then
    hyperfine -N --warmup 100 --runs 2000 --export-json "$work/startup.json" \
        "$work/minimal $work/9B" "$tool $work/9B" "$static_tool $work/9B" > /dev/null 2>&1
    python3 - "$work/startup.json" "$static_tool" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    cmd = r["command"]
    name = ("minimal C program" if "minimal" in cmd else
            "jamcrc, static" if cmd.startswith(sys.argv[2]) else "jamcrc")
    print(f"{name + ', 9-byte file':32} median {r['median'] * 1e3:.3f} ms wall, mean {r['mean'] * 1e3:.3f} ms")
PY
else
    runs=200
    time_runs "minimal C program, 9 bytes" "$work/minimal" "$work/9B"
    time_runs "jamcrc, 9 bytes" "$tool" "$work/9B"
    time_runs "jamcrc static, 9 bytes" "$static_tool" "$work/9B"
fi
