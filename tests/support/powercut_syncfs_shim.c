// Preloaded into a program that runs on powercut_fs.
//
// syncfs: the kernel does not pass syncfs (nor sync) on to a FUSE file
// system, so after the real call this asks the file system for the attribute
// "user.powercut.syncfs", which powercut_fs takes as the syncfs: everything
// written so far on it is durable from then on, as on a disk. Descriptors of
// other file systems are left as they are; sync() tells every powercut_fs
// mount named in VXK5_POWERCUT_MOUNTS (separated by ':').
//
// With VXK5_POWERCUT_AS_EXT4=1, fstatfs and statfs also say that the mounts
// named in VXK5_POWERCUT_MOUNTS are ext4 (EXT4_SUPER_MAGIC) rather than FUSE:
// a program that picks how it syncs by the file system's type then takes the
// path it takes on a disk, with its one syncfs, and the syncfs above makes
// that path mean on powercut_fs what it means there.

#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#define FUSE_MAGIC 0x65735546
#define EXT4_MAGIC 0xEF53

static const char kAttribute[] = "user.powercut.syncfs";

// The file system type as the kernel gives it, without this shim's answer.
static int RealFuse(int fd) {
    struct statfs status;
    return syscall(SYS_fstatfs, fd, &status) == 0 && status.f_type == FUSE_MAGIC;
}

int syncfs(int fd) {
    const long result = syscall(SYS_syncfs, fd);
    if (result == 0 && RealFuse(fd)) {
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

// Whether the FUSE file system of device `device` is one of the mounts named
// in VXK5_POWERCUT_MOUNTS, and ext4 is to be reported for it.
static int ReportedAsExt4(dev_t device) {
    const char* wanted = getenv("VXK5_POWERCUT_AS_EXT4");
    const char* mounts = getenv("VXK5_POWERCUT_MOUNTS");
    if (wanted == NULL || strcmp(wanted, "1") != 0 || mounts == NULL) return 0;
    char* copy = strdup(mounts);
    if (copy == NULL) return 0;
    int found = 0;
    char* saved = NULL;
    for (char* mount = strtok_r(copy, ":", &saved); mount != NULL && !found; mount = strtok_r(NULL, ":", &saved)) {
        struct stat status;
        found = syscall(SYS_newfstatat, AT_FDCWD, mount, &status, 0) == 0 && status.st_dev == device;
    }
    free(copy);
    return found;
}

static void Disguise(int fd, const char* path, struct statfs* status) {
    if (status->f_type != FUSE_MAGIC) return;
    struct stat entry;
    const long looked = path != NULL ? syscall(SYS_newfstatat, AT_FDCWD, path, &entry, 0)
                                     : syscall(SYS_newfstatat, fd, "", &entry, AT_EMPTY_PATH);
    if (looked == 0 && ReportedAsExt4(entry.st_dev)) status->f_type = EXT4_MAGIC;
}

int fstatfs(int fd, struct statfs* status) {
    const long result = syscall(SYS_fstatfs, fd, status);
    if (result == 0) Disguise(fd, NULL, status);
    return (int)result;
}

int statfs(const char* path, struct statfs* status) {
    const long result = syscall(SYS_statfs, path, status);
    if (result == 0) Disguise(-1, path, status);
    return (int)result;
}

// On 64-bit systems these are the same calls under their other names.
int fstatfs64(int fd, struct statfs64* status) { return fstatfs(fd, (struct statfs*)status); }
int statfs64(const char* path, struct statfs64* status) { return statfs(path, (struct statfs*)status); }
