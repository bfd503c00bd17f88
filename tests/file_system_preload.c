/* Preloaded into the tool by the command-line tests: a file system that
   behaves as the test asks, and a record of what the tool did on it.
     JAMCRC_TEST_LOG=FILE            appends L when loaded, O for each O_DIRECT
                                     set, D for each direct read, R for each
                                     refusal below: a test can tell a direct
                                     read, a refusal, and a tool that never
                                     loaded this (a static one)
     JAMCRC_TEST_REFUSE_DIRECT=fcntl setting O_DIRECT fails with EINVAL;
     JAMCRC_TEST_REFUSE_DIRECT=read  setting it works, and so does the first
                                     direct read, but every later one fails
                                     with EINVAL (alignment refused partway)
     JAMCRC_TEST_STATFS_TYPE=N       fstatfs reports file system type N
     JAMCRC_TEST_REFUSE=WAY:ERRNO,...  these ways of asking about the page
                                     cache fail with EPERM or ENOSYS, as under
                                     a seccomp filter or an older kernel:
                                     cachestat, mincore, and probes (preadv2
                                     with RWF_NOWAIT); probes:QUICK instead
                                     answers those reads as a disk quick
                                     enough that the pages they lack are in
                                     before the kernel looks again: the range
                                     is read first, waiting, then asked for;
                                     pieces:QUICK does that for the reads
                                     longer than a byte, their range evicted
                                     first: not cached after all
     JAMCRC_TEST_RESIZE_TO=N         the file is cut or extended to N bytes
                                     just before the tool's first read: after
                                     it was measured */
/* Both names of each call are defined here where the C library has both
   (glibc): neither may be redirected to the other by the 64-bit offset and
   time switches the build sets. */
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#ifndef RWF_NOWAIT
#define RWF_NOWAIT 0x00000008
#endif

static void note(const char* what) {
    const char* log = getenv("JAMCRC_TEST_LOG");
    const int fd = log == NULL ? -1 : open(log, O_WRONLY | O_APPEND);
    if (fd >= 0) {
        (void)!write(fd, what, 1);
        close(fd);
    }
}

__attribute__((constructor)) static void loaded(void) { note("L"); }

static int refusing(const char* how) {
    const char* mode = getenv("JAMCRC_TEST_REFUSE_DIRECT");
    if (mode == NULL || strcmp(mode, how) != 0) return 0;
    note("R");
    errno = EINVAL;
    return 1;
}

static int real_fcntl(int fd, int cmd, long arg) {
    static int (*real)(int, int, ...);
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "fcntl");
    return real(fd, cmd, arg);
}

static int fcntl_observed(int fd, int cmd, va_list args) {
    const long arg = va_arg(args, long);
    const int setting_direct = cmd == F_SETFL && (arg & O_DIRECT);
    if (setting_direct && refusing("fcntl")) return -1;
    const int r = real_fcntl(fd, cmd, arg);
    if (setting_direct && r == 0) note("O");
    return r;
}

int fcntl(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    const int r = fcntl_observed(fd, cmd, args);
    va_end(args);
    return r;
}

#ifdef __GLIBC__
int fcntl64(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    const int r = fcntl_observed(fd, cmd, args);
    va_end(args);
    return r;
}
#endif

static void resize_once(int fd) {
    static int done;
    const char* to = getenv("JAMCRC_TEST_RESIZE_TO");
    if (to == NULL || done) return;
    done = 1;
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (truncate(self, (off_t)strtol(to, NULL, 10)) != 0) note("!");
}

static ssize_t pread_observed(int fd, void* buf, size_t count, off_t offset) {
    static ssize_t (*real)(int, void*, size_t, off_t);
    static int direct_reads;
#ifdef __GLIBC__
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "pread64");
#else
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "pread");  /* 64-bit offsets only */
#endif
    resize_once(fd);
    if (real_fcntl(fd, F_GETFL, 0) & O_DIRECT) {
        if (direct_reads++ > 0 && refusing("read")) return -1;
        note("D");
    }
    return real(fd, buf, count, offset);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) { return pread_observed(fd, buf, count, offset); }
#ifdef __GLIBC__
ssize_t pread64(int fd, void* buf, size_t count, off_t offset) { return pread_observed(fd, buf, count, offset); }
#endif

/* The type asked for, if any, in place of the real one. */
#define RETYPED(r, type)                                              \
    do {                                                              \
        const char* as = getenv("JAMCRC_TEST_STATFS_TYPE");           \
        if ((r) == 0 && as != NULL) (type) = (__typeof__(type))strtoul(as, NULL, 0); \
    } while (0)

int fstatfs(int fd, struct statfs* buf) {
    static int (*real)(int, struct statfs*);
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "fstatfs");
    const int r = real(fd, buf);
    RETYPED(r, buf->f_type);
    return r;
}

#ifdef __GLIBC__
int fstatfs64(int fd, struct statfs64* buf) {
    static int (*real)(int, struct statfs64*);
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "fstatfs64");
    const int r = real(fd, buf);
    RETYPED(r, buf->f_type);
    return r;
}
#endif

/* The error JAMCRC_TEST_REFUSE names for `way`, -1 for QUICK, or 0. */
static int refusal(const char* way) {
    const char* at = getenv("JAMCRC_TEST_REFUSE");
    const size_t length = strlen(way);
    while (at != NULL && *at != '\0') {
        if (strncmp(at, way, length) == 0 && at[length] == ':') {
            if (strncmp(at + length + 1, "QUICK", 5) == 0) return -1;
            return strncmp(at + length + 1, "EPERM", 5) == 0 ? EPERM : ENOSYS;
        }
        at = strchr(at, ',');
        if (at != NULL) ++at;
    }
    return 0;
}

int mincore(void* start, size_t length, unsigned char* vector) {
    static int (*real)(void*, size_t, unsigned char*);
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "mincore");
    const int refused = refusal("mincore");
    if (refused > 0) {
        errno = refused;
        return -1;
    }
    return real(start, length, vector);
}

/* Every system call made through syscall() passes, but cachestat and reads
   that refuse to wait where the test refuses them. (Six arguments, as many as
   any takes.) */
long syscall(long number, ...) {
    static long (*real)(long, ...);
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "syscall");
    enum { CACHESTAT = 451 }; /* on the processors these tests preload into */
    va_list args;
    va_start(args, number);
    long a[6];
    for (int i = 0; i < 6; ++i) a[i] = va_arg(args, long);
    va_end(args);
    const int refused = number == CACHESTAT ? refusal("cachestat")
                        : number == SYS_preadv2 && (a[5] & RWF_NOWAIT) ? refusal("probes")
                                                                        : 0;
    if (number == SYS_preadv2 && (a[5] & RWF_NOWAIT)) {
        const struct iovec* piece = (const struct iovec*)a[1];
        const off_t at = (off_t)(unsigned long)a[3]; /* the low half of the offset: enough for the tests' files */
        if (piece->iov_len > 1 && refusal("pieces") < 0) {
            (void)posix_fadvise((int)a[0], at, (off_t)piece->iov_len, POSIX_FADV_DONTNEED);
            (void)pread_observed((int)a[0], piece->iov_base, piece->iov_len, at);
        } else if (refused < 0) {
            (void)pread_observed((int)a[0], piece->iov_base, piece->iov_len, at);
        }
    }
    if (refused > 0) {
        errno = refused;
        return -1;
    }
    return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
