/* Preloaded into arm64 Wine under qemu-user (wine_arm64.sh, with qemu's
   -E LD_PRELOAD=...). Wine learns what the CPU can do from /proc/cpuinfo, which
   qemu-user 7.2 passes through from this x86 machine: Wine would then tell
   Windows programs (IsProcessorFeaturePresent) that the emulated CPU has no
   CRC32 instructions, whatever QEMU_CPU says. Here that file is answered from
   the emulated CPU's own record, the hardware capabilities qemu hands the
   program (AT_HWCAP), in the form Linux writes it. LD_PRELOAD is unset at
   once: the programs Wine starts are host scripts (wine_arm64.sh again), on
   which the host's loader would complain about an arm64 library. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/auxv.h>

/* The names Linux gives AT_HWCAP's bits, lowest first. */
static const char *const hwcap_names[] = {
    "fp",      "asimd",  "evtstrm", "aes",   "pmull",  "sha1", "sha2",    "crc32",
    "atomics", "fphp",   "asimdhp", "cpuid", "asimdrdm", "jscvt", "fcma", "lrcpc",
    "dcpop",   "sha3",   "sm3",     "sm4",   "asimddp", "sha512", "sve", "asimdfhm",
    "dit",     "uscat",  "ilrcpc",  "flagm", "ssbs",   "sb",   "paca",    "pacg",
};

static FILE *(*next_fopen)(const char *, const char *);

/* Before Wine starts a thread: dlsym takes the loader's lock, which a thread
   that forks meanwhile would leave taken in its child. */
__attribute__((constructor)) static void start(void) {
    next_fopen = (FILE * (*)(const char *, const char *)) dlsym(RTLD_NEXT, "fopen");
    unsetenv("LD_PRELOAD");
}

FILE *fopen(const char *path, const char *mode) {
    if (strcmp(path, "/proc/cpuinfo") != 0) return next_fopen(path, mode);
    FILE *f = fmemopen(NULL, 1024, "w+");
    if (f == NULL) return NULL;
    const unsigned long hwcap = getauxval(AT_HWCAP);
    fputs("processor\t: 0\nFeatures\t:", f);
    for (size_t bit = 0; bit < sizeof hwcap_names / sizeof hwcap_names[0]; ++bit) {
        if (hwcap & (1ul << bit)) fprintf(f, " %s", hwcap_names[bit]);
    }
    fputs("\n", f);
    rewind(f);
    return f;
}
