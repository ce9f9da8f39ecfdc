/* Preloaded into the worker by the tests of its messages: the folder named by
 * TESMIRA_FULL_FOLDER behaves as a full disk (every write into a file in it fails with ENOSPC),
 * the folder named by TESMIRA_READ_ONLY_FOLDER as a read-only file system (creating a file or a
 * folder in it fails with EROFS). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static int inside(const char* variable, const char* path) {
    const char* folder = getenv(variable);
    if (!folder || !path) return 0;
    const size_t length = strlen(folder);
    return strncmp(path, folder, length) == 0 && path[length] == '/';
}

static int in_full_folder(int fd) {
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n < 0) return 0;
    target[n] = '\0';
    return inside("TESMIRA_FULL_FOLDER", target);
}

ssize_t write(int fd, const void* buffer, size_t size) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    if (size > 0 && in_full_folder(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, buffer, size);
}

ssize_t copy_file_range(int in, loff_t* in_offset, int out, loff_t* out_offset, size_t size, unsigned int flags) {
    static ssize_t (*real)(int, loff_t*, int, loff_t*, size_t, unsigned int);
    if (!real) real = (ssize_t(*)(int, loff_t*, int, loff_t*, size_t, unsigned int))dlsym(RTLD_NEXT, "copy_file_range");
    if (size > 0 && in_full_folder(out)) {
        errno = ENOSPC;
        return -1;
    }
    return real(in, in_offset, out, out_offset, size, flags);
}

int open(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    if (!real) real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = (flags & O_CREAT) ? (mode_t)va_arg(arguments, int) : 0;
    va_end(arguments);
    if ((flags & O_CREAT) && inside("TESMIRA_READ_ONLY_FOLDER", path)) {
        errno = EROFS;
        return -1;
    }
    return real(path, flags, mode);
}

int mkdir(const char* path, mode_t mode) {
    static int (*real)(const char*, mode_t);
    if (!real) real = (int (*)(const char*, mode_t))dlsym(RTLD_NEXT, "mkdir");
    if (inside("TESMIRA_READ_ONLY_FOLDER", path)) {
        errno = EROFS;
        return -1;
    }
    return real(path, mode);
}
