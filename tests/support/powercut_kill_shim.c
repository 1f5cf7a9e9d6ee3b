// Preloaded into a program to kill it at its N-th call that changes a file
// system, whichever thread makes it: one count for the whole process, so
// that the calls of a short-lived thread (a second writer, an unpacker) are
// as likely to be the one killed at as those of the main line.
//
//   VXK5_KILL_AT=N     the N-th counted call is not made: the process is
//                      killed with SIGKILL at it (0 or unset: counts only)
//   VXK5_KILL_LOG=FILE receives "kill N thread T kind path" at the kill, or,
//                      when the process ends by itself, "calls N" and a line
//                      "thread T count" per thread that made counted calls
//                      (threads are numbered in the order of their first one)
//   VXK5_KILL_TRACE=1  also "call N thread T kind" for every counted call, so
//                      that a test can choose calls of each thread to kill at
//
// Counted: every call that makes, removes, renames or links a name, changes
// a file's bytes, size, mode, owner, times or extended attributes, or syncs;
// an open only when it creates or truncates, and writes only to regular
// files past the standard descriptors (not messages on standard error). Once
// the kill has come, every thread that reaches a counted call stops there.

#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utime.h>

#define MAX_THREADS 64

static atomic_long g_calls;
static atomic_int g_threads;
static atomic_long g_perThread[MAX_THREADS];
static _Thread_local int t_index = -1;
// Read once as the program starts and taken out of its environment: the
// programs it starts are not counted, nor do they write to the log.
static long g_killAt;
static int g_trace;
static char g_log[4096];

__attribute__((constructor)) static void Start(void) {
    const char* at = getenv("VXK5_KILL_AT");
    g_killAt = at != NULL ? atol(at) : 0;
    const char* log = getenv("VXK5_KILL_LOG");
    if (log != NULL) snprintf(g_log, sizeof g_log, "%s", log);
    const char* trace = getenv("VXK5_KILL_TRACE");
    g_trace = trace != NULL && strcmp(trace, "1") == 0;
    unsetenv("VXK5_KILL_AT");
    unsetenv("VXK5_KILL_LOG");
    unsetenv("VXK5_KILL_TRACE");
}

static void Append(const char* line) {
    if (g_log[0] == '\0') return;
    const long fd = syscall(SYS_openat, AT_FDCWD, g_log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    (void)!syscall(SYS_write, fd, line, strlen(line));
    syscall(SYS_close, fd);
}

// The path a descriptor stands for, or "".
static void PathOf(int fd, char* out, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const long length = syscall(SYS_readlinkat, AT_FDCWD, link, out, size - 1);
    out[length > 0 ? length : 0] = '\0';
}

// Counts a call (a path relative to `directory`, or the open file `fd` when
// `path` is NULL) and kills the process when it is the one.
static void Count(const char* kind, int directory, const char* path, int fd) {
    if (t_index < 0) {
        t_index = atomic_fetch_add(&g_threads, 1);
        if (t_index >= MAX_THREADS) t_index = MAX_THREADS - 1;
    }
    const long number = atomic_fetch_add(&g_calls, 1) + 1;
    atomic_fetch_add(&g_perThread[t_index], 1);
    if (g_trace) {
        char line[128];
        snprintf(line, sizeof line, "call %ld thread %d %s\n", number, t_index, kind);
        Append(line);
    }
    const long killAt = g_killAt;
    if (killAt <= 0 || number < killAt) return;
    if (number == killAt) {
        char where[4096] = "";
        if (path == NULL) {
            PathOf(fd, where, sizeof where);
        } else if (path[0] == '/' || directory == AT_FDCWD) {
            snprintf(where, sizeof where, "%s", path);
        } else {
            char base[3072];
            PathOf(directory, base, sizeof base);
            snprintf(where, sizeof where, "%s/%s", base, path);
        }
        char line[4352];
        snprintf(line, sizeof line, "kill %ld thread %d %s %s\n", number, t_index, kind, where);
        Append(line);
        syscall(SYS_kill, getpid(), SIGKILL);
    }
    for (;;) pause();  // the process is gone: no thread goes on
}

static int RegularFile(int fd) {
    struct stat status;
    return fd > 2 && syscall(SYS_fstat, fd, &status) == 0 && S_ISREG(status.st_mode);
}

static int Creates(int flags) { return (flags & (O_CREAT | O_TRUNC)) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

__attribute__((destructor)) static void Report(void) {
    if (g_log[0] == '\0') return;
    char line[128];
    snprintf(line, sizeof line, "calls %ld\n", atomic_load(&g_calls));
    Append(line);
    const int threads = atomic_load(&g_threads);
    for (int t = 0; t < threads && t < MAX_THREADS; ++t) {
        snprintf(line, sizeof line, "thread %d %ld\n", t, atomic_load(&g_perThread[t]));
        Append(line);
    }
}

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, #name))

// ---- names ----

static int OpenAt(const char* kind, int directory, const char* path, int flags, mode_t mode) {
    if (Creates(flags)) Count(kind, directory, path, -1);
    return (int)syscall(SYS_openat, directory, path, flags, mode);
}

static mode_t ModeOf(int flags, va_list arguments) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(arguments, int) : 0;
}

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt("open", AT_FDCWD, path, flags, mode);
}
int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt("open", AT_FDCWD, path, flags, mode);
}
int openat(int directory, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt("openat", directory, path, flags, mode);
}
int openat64(int directory, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenAt("openat", directory, path, flags, mode);
}
int creat(const char* path, mode_t mode) { return OpenAt("creat", AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode); }
int creat64(const char* path, mode_t mode) { return creat(path, mode); }

FILE* fopen(const char* path, const char* mode) {
    if (strpbrk(mode, "wa+") != NULL && strchr(mode, 'r') == NULL) Count("fopen", AT_FDCWD, path, -1);
    return REAL(fopen, FILE* (*)(const char*, const char*))(path, mode);
}
FILE* fopen64(const char* path, const char* mode) { return fopen(path, mode); }

int rename(const char* from, const char* to) {
    Count("rename", AT_FDCWD, to, -1);
    return REAL(rename, int (*)(const char*, const char*))(from, to);
}
int renameat(int fromDirectory, const char* from, int toDirectory, const char* to) {
    Count("renameat", toDirectory, to, -1);
    return REAL(renameat, int (*)(int, const char*, int, const char*))(fromDirectory, from, toDirectory, to);
}
int renameat2(int fromDirectory, const char* from, int toDirectory, const char* to, unsigned int flags) {
    Count("renameat2", toDirectory, to, -1);
    return REAL(renameat2, int (*)(int, const char*, int, const char*, unsigned int))(fromDirectory, from,
                                                                                      toDirectory, to, flags);
}
int unlink(const char* path) {
    Count("unlink", AT_FDCWD, path, -1);
    return REAL(unlink, int (*)(const char*))(path);
}
int unlinkat(int directory, const char* path, int flags) {
    Count("unlinkat", directory, path, -1);
    return REAL(unlinkat, int (*)(int, const char*, int))(directory, path, flags);
}
int rmdir(const char* path) {
    Count("rmdir", AT_FDCWD, path, -1);
    return REAL(rmdir, int (*)(const char*))(path);
}
int mkdir(const char* path, mode_t mode) {
    Count("mkdir", AT_FDCWD, path, -1);
    return REAL(mkdir, int (*)(const char*, mode_t))(path, mode);
}
int mkdirat(int directory, const char* path, mode_t mode) {
    Count("mkdirat", directory, path, -1);
    return REAL(mkdirat, int (*)(int, const char*, mode_t))(directory, path, mode);
}
int link(const char* from, const char* to) {
    Count("link", AT_FDCWD, to, -1);
    return REAL(link, int (*)(const char*, const char*))(from, to);
}
int linkat(int fromDirectory, const char* from, int toDirectory, const char* to, int flags) {
    Count("linkat", toDirectory, to, -1);
    return REAL(linkat, int (*)(int, const char*, int, const char*, int))(fromDirectory, from, toDirectory, to,
                                                                         flags);
}
int symlink(const char* text, const char* path) {
    Count("symlink", AT_FDCWD, path, -1);
    return REAL(symlink, int (*)(const char*, const char*))(text, path);
}
int symlinkat(const char* text, int directory, const char* path) {
    Count("symlinkat", directory, path, -1);
    return REAL(symlinkat, int (*)(const char*, int, const char*))(text, directory, path);
}
int mknod(const char* path, mode_t mode, dev_t device) {
    Count("mknod", AT_FDCWD, path, -1);
    return REAL(mknod, int (*)(const char*, mode_t, dev_t))(path, mode, device);
}
int mknodat(int directory, const char* path, mode_t mode, dev_t device) {
    Count("mknodat", directory, path, -1);
    return REAL(mknodat, int (*)(int, const char*, mode_t, dev_t))(directory, path, mode, device);
}

// ---- bytes and sizes ----

ssize_t write(int fd, const void* bytes, size_t size) {
    if (RegularFile(fd)) Count("write", AT_FDCWD, NULL, fd);
    return REAL(write, ssize_t (*)(int, const void*, size_t))(fd, bytes, size);
}
ssize_t pwrite(int fd, const void* bytes, size_t size, off_t offset) {
    if (RegularFile(fd)) Count("pwrite", AT_FDCWD, NULL, fd);
    return REAL(pwrite, ssize_t (*)(int, const void*, size_t, off_t))(fd, bytes, size, offset);
}
ssize_t pwrite64(int fd, const void* bytes, size_t size, off_t offset) { return pwrite(fd, bytes, size, offset); }
ssize_t writev(int fd, const struct iovec* pieces, int count) {
    if (RegularFile(fd)) Count("writev", AT_FDCWD, NULL, fd);
    return REAL(writev, ssize_t (*)(int, const struct iovec*, int))(fd, pieces, count);
}
ssize_t pwritev(int fd, const struct iovec* pieces, int count, off_t offset) {
    if (RegularFile(fd)) Count("pwritev", AT_FDCWD, NULL, fd);
    return REAL(pwritev, ssize_t (*)(int, const struct iovec*, int, off_t))(fd, pieces, count, offset);
}
ssize_t pwritev64(int fd, const struct iovec* pieces, int count, off_t offset) {
    return pwritev(fd, pieces, count, offset);
}
ssize_t copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset, size_t size, unsigned int flags) {
    Count("copy_file_range", AT_FDCWD, NULL, out);
    return REAL(copy_file_range, ssize_t (*)(int, off_t*, int, off_t*, size_t, unsigned int))(in, inOffset, out,
                                                                                             outOffset, size, flags);
}
int ftruncate(int fd, off_t size) {
    Count("ftruncate", AT_FDCWD, NULL, fd);
    return REAL(ftruncate, int (*)(int, off_t))(fd, size);
}
int ftruncate64(int fd, off_t size) { return ftruncate(fd, size); }
int truncate(const char* path, off_t size) {
    Count("truncate", AT_FDCWD, path, -1);
    return REAL(truncate, int (*)(const char*, off_t))(path, size);
}
int truncate64(const char* path, off_t size) { return truncate(path, size); }
int fallocate(int fd, int mode, off_t offset, off_t length) {
    Count("fallocate", AT_FDCWD, NULL, fd);
    return REAL(fallocate, int (*)(int, int, off_t, off_t))(fd, mode, offset, length);
}
int fallocate64(int fd, int mode, off_t offset, off_t length) { return fallocate(fd, mode, offset, length); }
int posix_fallocate(int fd, off_t offset, off_t length) {
    Count("posix_fallocate", AT_FDCWD, NULL, fd);
    return REAL(posix_fallocate, int (*)(int, off_t, off_t))(fd, offset, length);
}
int posix_fallocate64(int fd, off_t offset, off_t length) { return posix_fallocate(fd, offset, length); }

// ---- syncs ----

int fsync(int fd) {
    Count("fsync", AT_FDCWD, NULL, fd);
    return REAL(fsync, int (*)(int))(fd);
}
int fdatasync(int fd) {
    Count("fdatasync", AT_FDCWD, NULL, fd);
    return REAL(fdatasync, int (*)(int))(fd);
}
int syncfs(int fd) {
    Count("syncfs", AT_FDCWD, NULL, fd);
    return REAL(syncfs, int (*)(int))(fd);
}
void sync(void) {
    Count("sync", AT_FDCWD, "", -1);
    REAL(sync, void (*)(void))();
}
int sync_file_range(int fd, off_t offset, off_t size, unsigned int flags) {
    Count("sync_file_range", AT_FDCWD, NULL, fd);
    return REAL(sync_file_range, int (*)(int, off_t, off_t, unsigned int))(fd, offset, size, flags);
}

// ---- attributes ----

int chmod(const char* path, mode_t mode) {
    Count("chmod", AT_FDCWD, path, -1);
    return REAL(chmod, int (*)(const char*, mode_t))(path, mode);
}
int fchmod(int fd, mode_t mode) {
    Count("fchmod", AT_FDCWD, NULL, fd);
    return REAL(fchmod, int (*)(int, mode_t))(fd, mode);
}
int fchmodat(int directory, const char* path, mode_t mode, int flags) {
    Count("fchmodat", directory, path, -1);
    return REAL(fchmodat, int (*)(int, const char*, mode_t, int))(directory, path, mode, flags);
}
int chown(const char* path, uid_t user, gid_t group) {
    Count("chown", AT_FDCWD, path, -1);
    return REAL(chown, int (*)(const char*, uid_t, gid_t))(path, user, group);
}
int lchown(const char* path, uid_t user, gid_t group) {
    Count("lchown", AT_FDCWD, path, -1);
    return REAL(lchown, int (*)(const char*, uid_t, gid_t))(path, user, group);
}
int fchown(int fd, uid_t user, gid_t group) {
    Count("fchown", AT_FDCWD, NULL, fd);
    return REAL(fchown, int (*)(int, uid_t, gid_t))(fd, user, group);
}
int fchownat(int directory, const char* path, uid_t user, gid_t group, int flags) {
    Count("fchownat", directory, path, -1);
    return REAL(fchownat, int (*)(int, const char*, uid_t, gid_t, int))(directory, path, user, group, flags);
}
int futimens(int fd, const struct timespec times[2]) {
    Count("futimens", AT_FDCWD, NULL, fd);
    return REAL(futimens, int (*)(int, const struct timespec*))(fd, times);
}
int utimensat(int directory, const char* path, const struct timespec times[2], int flags) {
    // A null path (futimens's own form) is allowed by the system call.
    const char* volatile given = path;
    if (given == NULL) {
        Count("utimensat", AT_FDCWD, NULL, directory);
    } else {
        Count("utimensat", directory, path, -1);
    }
    return REAL(utimensat, int (*)(int, const char*, const struct timespec*, int))(directory, path, times, flags);
}
int utimes(const char* path, const struct timeval times[2]) {
    Count("utimes", AT_FDCWD, path, -1);
    return REAL(utimes, int (*)(const char*, const struct timeval*))(path, times);
}
int futimes(int fd, const struct timeval times[2]) {
    Count("futimes", AT_FDCWD, NULL, fd);
    return REAL(futimes, int (*)(int, const struct timeval*))(fd, times);
}
int lutimes(const char* path, const struct timeval times[2]) {
    Count("lutimes", AT_FDCWD, path, -1);
    return REAL(lutimes, int (*)(const char*, const struct timeval*))(path, times);
}
int utime(const char* path, const struct utimbuf* times) {
    Count("utime", AT_FDCWD, path, -1);
    return REAL(utime, int (*)(const char*, const struct utimbuf*))(path, times);
}
int setxattr(const char* path, const char* name, const void* value, size_t size, int flags) {
    Count("setxattr", AT_FDCWD, path, -1);
    return REAL(setxattr, int (*)(const char*, const char*, const void*, size_t, int))(path, name, value, size, flags);
}
int lsetxattr(const char* path, const char* name, const void* value, size_t size, int flags) {
    Count("lsetxattr", AT_FDCWD, path, -1);
    return REAL(lsetxattr, int (*)(const char*, const char*, const void*, size_t, int))(path, name, value, size,
                                                                                       flags);
}
int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
    Count("fsetxattr", AT_FDCWD, NULL, fd);
    return REAL(fsetxattr, int (*)(int, const char*, const void*, size_t, int))(fd, name, value, size, flags);
}
int removexattr(const char* path, const char* name) {
    Count("removexattr", AT_FDCWD, path, -1);
    return REAL(removexattr, int (*)(const char*, const char*))(path, name);
}
int lremovexattr(const char* path, const char* name) {
    Count("lremovexattr", AT_FDCWD, path, -1);
    return REAL(lremovexattr, int (*)(const char*, const char*))(path, name);
}
int fremovexattr(int fd, const char* name) {
    Count("fremovexattr", AT_FDCWD, NULL, fd);
    return REAL(fremovexattr, int (*)(int, const char*))(fd, name);
}
