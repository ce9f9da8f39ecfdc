/* Preloaded into the worker by the crash tests. Every call of fsync or fdatasync is logged
 * (with the file it syncs) to the file named by TESMIRA_SYNC_LOG, and the call numbered
 * TESMIRA_KILL_AT_SYNC (from 1) kills the process with SIGKILL before it runs, as a power
 * cut or an OOM kill would at that moment. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int calls;

static void before_sync(const char* kind, int fd) {
    ++calls;
    const char* log = getenv("TESMIRA_SYNC_LOG");
    if (log) {
        char link[64], target[4096];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = readlink(link, target, sizeof target - 1);
        target[n < 0 ? 0 : n] = '\0';
        int out = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (out >= 0) {
            dprintf(out, "%d %s %s\n", calls, kind, target);
            close(out);
        }
    }
    const char* kill_at = getenv("TESMIRA_KILL_AT_SYNC");
    if (kill_at && atoi(kill_at) == calls) kill(getpid(), SIGKILL);
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
