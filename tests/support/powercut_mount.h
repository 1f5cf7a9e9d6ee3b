#pragma once
// A powercut_fs mount for a test's scope: started in the foreground as a
// child, waited for until the mount point is a FUSE file system, and
// unmounted (and its daemon waited for, so that the image of the cut is
// complete) at Unmount() or at the latest in the destructor.

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

class PowerCutMount {
public:
    static constexpr long kFuseMagic = 0x65735546;

    // Why no power-cut mount can be made here, or empty when one can.
    static std::string Unavailable(const std::string& program) {
        if (program.empty()) return "powercut_fs was not built (fuse3 was not found at configure time)";
        if (::geteuid() != 0) return "mounting powercut_fs needs root";
        if (::access("/dev/fuse", R_OK | W_OK) != 0) return "/dev/fuse is missing or not usable";
        return std::string();
    }

    // cutAt 0: the cut comes at the unmount. `log` may be empty. With
    // `killOnly` the operation cutAt kills its caller but nothing is lost.
    // `extra` arguments go to powercut_fs as they stand (--plant-at K PATH).
    PowerCutMount(const std::string& program, const std::string& backing, const std::string& mountPoint, long cutAt,
                  const std::string& log, bool killOnly = false, const std::vector<std::string>& extra = {})
        : mountPoint_(mountPoint) {
        struct stat before;
        if (::stat(mountPoint.c_str(), &before) != 0) return;
        std::vector<std::string> argv = {program, backing, mountPoint};
        if (cutAt != 0 || killOnly) {
            argv.insert(argv.begin() + 1, {killOnly ? "--kill-at" : "--cut-at", std::to_string(cutAt)});
        }
        argv.insert(argv.begin() + 1, extra.begin(), extra.end());
        if (!log.empty()) argv.insert(argv.begin() + 1, {"--log", log});
        std::vector<char*> pointers;
        for (std::string& argument : argv) pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        daemon_ = ::fork();
        if (daemon_ == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) ::dup2(null, 1);
            ::execv(pointers[0], pointers.data());
            ::_exit(127);
        }
        if (daemon_ < 0) return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            struct statfs status;
            struct stat now;
            if (::statfs(mountPoint.c_str(), &status) == 0 && status.f_type == kFuseMagic &&
                ::stat(mountPoint.c_str(), &now) == 0 && now.st_dev != before.st_dev) {
                mounted_ = true;
                return;
            }
            int exitStatus = 0;
            if (::waitpid(daemon_, &exitStatus, WNOHANG) == daemon_) {
                daemon_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~PowerCutMount() { Unmount(); }
    PowerCutMount(const PowerCutMount&) = delete;
    PowerCutMount& operator=(const PowerCutMount&) = delete;

    bool Mounted() const { return mounted_; }

    // Unmounts and waits for the daemon (which makes the image as it ends).
    // True when the daemon ended by itself.
    bool Unmount() {
        bool clean = true;
        if (mounted_) {
            mounted_ = false;
            bool done = false;
            for (int attempt = 0; attempt < 200 && !done; ++attempt) {
                done = ::umount2(mountPoint_.c_str(), 0) == 0;
                if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (!done) (void)::umount2(mountPoint_.c_str(), MNT_DETACH);
        }
        if (daemon_ > 0) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            int status = 0;
            while (::waitpid(daemon_, &status, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    ::kill(daemon_, SIGKILL);
                    ::waitpid(daemon_, &status, 0);
                    clean = false;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            daemon_ = -1;
        }
        return clean;
    }

private:
    std::string mountPoint_;
    pid_t daemon_ = -1;
    bool mounted_ = false;
};

// A bind mount for a test's scope (root only).
class BindMount {
public:
    BindMount(const std::string& from, const std::string& to) : to_(to) {
        mounted_ = ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BindMount() {
        if (mounted_) (void)::umount2(to_.c_str(), MNT_DETACH);
    }
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::string to_;
    bool mounted_ = false;
};
