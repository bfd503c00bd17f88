/* Preloaded into the tool by the command-line tests: a file system that won't
   read directly, as some FUSE and network file systems won't.
     JAMCRC_TEST_REFUSE_DIRECT=fcntl  setting O_DIRECT fails with EINVAL;
     JAMCRC_TEST_REFUSE_DIRECT=read   setting it works, and so does the first
                                      direct read, but every later one fails
                                      with EINVAL (alignment refused partway).
   Each refusal appends a byte to the file JAMCRC_TEST_REFUSALS names, so a
   test can tell a refusal from a tool that never loaded this (a static one). */
/* Both names of each call are defined here: neither may be redirected to the
   other by the 64-bit offset and time switches the build sets. */
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static int refusing(const char* how) {
    const char* mode = getenv("JAMCRC_TEST_REFUSE_DIRECT");
    if (mode == NULL || strcmp(mode, how) != 0) return 0;
    const char* log = getenv("JAMCRC_TEST_REFUSALS");
    const int fd = log == NULL ? -1 : open(log, O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (fd >= 0) {
        (void)!write(fd, "x", 1);
        close(fd);
    }
    errno = EINVAL;
    return 1;
}

static int real_fcntl(int fd, int cmd, long arg) {
    static int (*real)(int, int, ...);
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "fcntl");
    return real(fd, cmd, arg);
}

static int fcntl_refusing(int fd, int cmd, va_list args) {
    const long arg = va_arg(args, long);
    if (cmd == F_SETFL && (arg & O_DIRECT) && refusing("fcntl")) return -1;
    return real_fcntl(fd, cmd, arg);
}

int fcntl(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    const int r = fcntl_refusing(fd, cmd, args);
    va_end(args);
    return r;
}

int fcntl64(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    const int r = fcntl_refusing(fd, cmd, args);
    va_end(args);
    return r;
}

static ssize_t pread_refusing(int fd, void* buf, size_t count, off_t offset) {
    static ssize_t (*real)(int, void*, size_t, off_t);
    static int direct_reads;
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "pread64");
    if ((real_fcntl(fd, F_GETFL, 0) & O_DIRECT) && direct_reads++ > 0 && refusing("read")) return -1;
    return real(fd, buf, count, offset);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) { return pread_refusing(fd, buf, count, offset); }
ssize_t pread64(int fd, void* buf, size_t count, off_t offset) { return pread_refusing(fd, buf, count, offset); }
