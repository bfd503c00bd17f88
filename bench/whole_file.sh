#!/usr/bin/env bash
# Times whole runs of the built tool with /usr/bin/time: a generated 1 GiB
# file, read from the page cache, and a 9-byte file beside the static build
# and a minimal C program doing the same steps (start-up cost). Prints each
# run and the medians.
#
#   bench/whole_file.sh [TOOL] [RUNS]    defaults: build/release/jamcrc, 9
#   (the static build is taken from static/jamcrc beside TOOL)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(realpath "${1:-build/release/jamcrc}")
static_tool="$(dirname "$tool")/static/jamcrc"
runs=${2:-9}
work=$(mktemp -d)
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
cat "$work/1GiB" > /dev/null  # into the page cache
echo "1 GiB file: $((1 << 30)) bytes = $((1 << 20)) KiB"
time_runs "jamcrc, 1 GiB cached" "$tool" "$work/1GiB"

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
