#pragma once
// Owners of the attribute objects of the POSIX interfaces: each is initialised
// when its owner is made and destroyed, when initialisation succeeded, when
// its owner goes, on every path.

#include <spawn.h>

namespace vxk5 {

template <typename Object, int (*Init)(Object*), int (*Destroy)(Object*)>
class PosixObject {
public:
    PosixObject() : ok_(Init(&object_) == 0) {}
    ~PosixObject() {
        if (ok_) Destroy(&object_);
    }
    PosixObject(const PosixObject&) = delete;
    PosixObject& operator=(const PosixObject&) = delete;

    // False when the object could not be initialised: it must not be used.
    bool ok() const { return ok_; }
    Object* get() { return &object_; }

private:
    Object object_{};
    bool ok_;
};

using SpawnAttributes = PosixObject<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;
using SpawnActions =
    PosixObject<posix_spawn_file_actions_t, posix_spawn_file_actions_init, posix_spawn_file_actions_destroy>;

}  // namespace vxk5
