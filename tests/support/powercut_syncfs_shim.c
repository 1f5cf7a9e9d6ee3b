// Preloaded into a program that runs on powercut_fs: the kernel does not pass
// syncfs (nor sync) on to a FUSE file system, so after the real call this
// asks the file system for the attribute "user.powercut.syncfs", which
// powercut_fs takes as the syncfs. Descriptors of other file systems are left
// as they are; sync() tells every powercut_fs mount named in
// VXK5_POWERCUT_MOUNTS (separated by ':').

#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#define FUSE_MAGIC 0x65735546

static const char kAttribute[] = "user.powercut.syncfs";

int syncfs(int fd) {
    const long result = syscall(SYS_syncfs, fd);
    struct statfs status;
    if (result == 0 && fstatfs(fd, &status) == 0 && status.f_type == FUSE_MAGIC) {
        char path[64];
        snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        char value[1];
        (void)getxattr(path, kAttribute, value, sizeof value);
    }
    return (int)result;
}

void sync(void) {
    syscall(SYS_sync);
    const char* mounts = getenv("VXK5_POWERCUT_MOUNTS");
    if (mounts == NULL) return;
    char* copy = strdup(mounts);
    if (copy == NULL) return;
    char* saved = NULL;
    for (char* mount = strtok_r(copy, ":", &saved); mount != NULL; mount = strtok_r(NULL, ":", &saved)) {
        char value[1];
        (void)getxattr(mount, kAttribute, value, sizeof value);
    }
    free(copy);
}
