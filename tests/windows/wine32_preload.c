/* Preloaded into 32-bit Wine's loader when it runs under qemu-user: does the
   job of Wine's own preloader, which Debian doesn't ship for this path.

   Wine wants two address ranges kept free for Windows: the low one (64 KiB up
   to 1 GiB) and the high one (from 0x7ffe0000 up). Without a preloader it
   reserves them itself with MAP_FIXED_NOREPLACE, which qemu-user 7.2 takes as
   a mere hint; Wine then keeps what it is handed and splits its reservation
   into tens of thousands of pieces, for about 50 s per launch. Here the free
   parts of both ranges are reserved before Wine runs, and handed over through
   the loader's wine_main_preload_info, as the real preloader does.

   Passed with qemu's -E LD_PRELOAD=...; it unsets LD_PRELOAD at once, so the
   64-bit helpers Wine starts don't inherit it. */
#define _GNU_SOURCE
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>

struct wine_preload_info {
    void *addr;
    size_t size;
};

/* Defined by Wine's loader, which reads it once ntdll starts. */
extern const struct wine_preload_info *wine_main_preload_info __attribute__((weak));

enum { MAX_AREAS = 32 };
static struct wine_preload_info areas[MAX_AREAS + 1]; /* ends with { 0, 0 } */
static int area_count;

static void reserve(uint64_t start, uint64_t end) {
    if (start >= end || area_count == MAX_AREAS) return;
    const size_t size = (size_t)(end - start);
    void *p = mmap((void *)(uintptr_t)start, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return;
    if ((uintptr_t)p != start) { /* the hint was not kept: not free after all */
        munmap(p, size);
        return;
    }
    areas[area_count].addr = p;
    areas[area_count].size = size;
    ++area_count;
}

/* Reserves every gap between the existing mappings within [start, end). */
static void reserve_free(uint64_t start, uint64_t end) {
    FILE *maps = fopen("/proc/self/maps", "r");
    if (maps == NULL) return;
    uint64_t cursor = start;
    char line[512];
    while (fgets(line, sizeof line, maps) != NULL) {
        unsigned long long from, to;
        if (sscanf(line, "%llx-%llx", &from, &to) != 2 || to <= cursor) continue;
        if (from >= end) break;
        reserve(cursor, from);
        cursor = to;
    }
    fclose(maps);
    reserve(cursor, end);
}

__attribute__((constructor)) static void reserve_wine_ranges(void) {
    unsetenv("LD_PRELOAD");
    reserve_free(0x00010000u, 0x40000000u);
    /* qemu's 32-bit guest space ends short of 4 GiB; stop at the last 64 KiB. */
    reserve_free(0x7ffe0000u, 0xffff0000u);
    if (&wine_main_preload_info != NULL) wine_main_preload_info = areas;
}
