/* Preloaded into the worker by the crash tests. Every call of fsync or fdatasync is logged
 * (with the file it syncs) to the file named by TESMIRA_SYNC_LOG, and the call numbered
 * TESMIRA_KILL_AT_SYNC (from 1) kills the process with SIGKILL before it runs, as a power
 * cut or an OOM kill would at that moment.
 *
 * Renames are counted apart and logged to TESMIRA_STEP_LOG ("<n> rename <from> <to>"): the
 * one numbered TESMIRA_KILL_AT_RENAME kills before it runs, TESMIRA_KILL_AFTER_RENAME just
 * after it has happened. TESMIRA_KILL_AFTER_UNLINK kills just after the removal of a file
 * whose path ends in that text (SQLite's removal of its journal is its commit). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int calls, renames;

__attribute__((format(printf, 2, 3))) static void log_line(const char* variable, const char* format, ...) {
    const char* log = getenv(variable);
    if (!log) return;
    int out = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (out < 0) return;
    va_list arguments;
    va_start(arguments, format);
    vdprintf(out, format, arguments);
    va_end(arguments);
    close(out);
}

static int numbered(const char* variable, int number) {
    const char* wanted = getenv(variable);
    return wanted && atoi(wanted) == number;
}

static void before_sync(const char* kind, int fd) {
    ++calls;
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    target[n < 0 ? 0 : n] = '\0';
    log_line("TESMIRA_SYNC_LOG", "%d %s %s\n", calls, kind, target);
    if (numbered("TESMIRA_KILL_AT_SYNC", calls)) kill(getpid(), SIGKILL);
}

int fsync(int fd) {
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    before_sync("fsync", fd);
    return real(fd);
}

int fdatasync(int fd) {
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
    before_sync("fdatasync", fd);
    return real(fd);
}

int renameat2(int from_folder, const char* from, int to_folder, const char* to, unsigned int flags) {
    static int (*real)(int, const char*, int, const char*, unsigned int);
    if (!real) real = (int (*)(int, const char*, int, const char*, unsigned int))dlsym(RTLD_NEXT, "renameat2");
    ++renames;
    log_line("TESMIRA_STEP_LOG", "%d rename %s %s\n", renames, from, to);
    if (numbered("TESMIRA_KILL_AT_RENAME", renames)) kill(getpid(), SIGKILL);
    const int result = real(from_folder, from, to_folder, to, flags);
    if (numbered("TESMIRA_KILL_AFTER_RENAME", renames)) kill(getpid(), SIGKILL);
    return result;
}

int unlink(const char* path) {
    static int (*real)(const char*);
    if (!real) real = (int (*)(const char*))dlsym(RTLD_NEXT, "unlink");
    const int result = real(path);
    const char* suffix = getenv("TESMIRA_KILL_AFTER_UNLINK");
    const size_t length = strlen(path), wanted = suffix ? strlen(suffix) : 0;
    if (result == 0 && suffix && length >= wanted && strcmp(path + length - wanted, suffix) == 0)
        kill(getpid(), SIGKILL);
    return result;
}
