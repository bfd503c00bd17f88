#!/usr/bin/env bash
# A kernel built for instructions the CPU may lack must not define code that
# other files could end up calling: inline functions and templates are
# emitted as weak symbols, and the linker keeps one copy of each, possibly
# the one built with AVX-512. Fails if a CPU-specific kernel object defines
# any weak symbol.
#   kernel_isolation.sh NM OBJECT...
set -euo pipefail
nm_tool=$1
shift
status=0
for object in "$@"; do
    case "$object" in
        *crc32_kernel_slice8*) continue ;;  # built for any CPU
        *crc32_kernel_*) ;;
        *) continue ;;
    esac
    weak=$("$nm_tool" -C "$object" | awk '$2 ~ /^[WVu]$/')
    if [ -n "$weak" ]; then
        echo "$object defines weak symbols:"
        echo "$weak"
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "no kernel object shares code"
exit "$status"
