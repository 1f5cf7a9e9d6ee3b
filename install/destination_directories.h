#pragma once
// The directories a job writes into: the template directory itself (a link to
// a directory is followed there, it is the user's choice), held for the whole
// job, and below it a small cache of directories, each reached from its
// parent's descriptor without following a link. Files are made and moved by
// name inside these descriptors, so no link below the template directory,
// planted before or during the job, is ever written through.
//
// The cache is bounded (a kit of a hundred thousand directories installs
// under a limit of 64 descriptors): the least recently used directory is
// closed to make room, and opened again later by walking down from the
// nearest cached directory above it. The identity of every directory opened
// is remembered, so a directory swapped in under the same name meanwhile is
// noticed instead of written into.

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/file_entries.h"
#include "platform/open_file.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

struct DestinationDirectories {
    static constexpr size_t kDefaultCapacity = 8;

    OwnedDescriptor root;
    size_t capacity = kDefaultCapacity;
    // Relative path below the template directory ("a/b", no final "/").
    struct Cached {
        OwnedDescriptor descriptor;
        std::list<std::string>::iterator use;
    };
    std::unordered_map<std::string, Cached> below;
    std::list<std::string> uses;  // most recently used first
    std::unordered_map<std::string, EntryIdentity> identities;

    // The cached descriptor of `relative`, marked as used; -1 when not cached.
    int Find(const std::string& relative) {
        const auto found = below.find(relative);
        if (found == below.end()) return -1;
        uses.splice(uses.begin(), uses, found->second.use);
        return found->second.descriptor.Get();
    }
    // Caches `opened` for `relative`, closing the least used one when full.
    int Keep(const std::string& relative, OwnedDescriptor opened) {
        while (below.size() >= capacity && !uses.empty()) {
            below.erase(uses.back());
            uses.pop_back();
        }
        uses.push_front(relative);
        const int fd = opened.Get();
        below[relative] = Cached{std::move(opened), uses.begin()};
        return fd;
    }
    // Closes every cached directory (the root stays).
    void Shrink() {
        below.clear();
        uses.clear();
    }
    void Clear() {
        Shrink();
        identities.clear();
        root.Reset();
    }
};

// The directories of a run of a batch's entries, held open while the run's
// files are written or placed by two threads, by name inside them. They are
// copies of the cache's descriptors, which a later entry's directory may close
// meanwhile. At most kCapacity are held, so that a kit of one file per
// directory does not run the process out of descriptors: a run ends before a
// directory that would not fit.
class HeldDirectories {
public:
    static constexpr size_t kCapacity = 16;

    // The descriptor held for `relative`, a copy of `directory` the first
    // time; -1 with the errno in `error` when none is left, or with 0 when the
    // run is full.
    int Hold(const std::string& relative, int directory, int& error) {
        error = 0;
        const auto found = held_.find(relative);
        if (found != held_.end()) return found->second.Get();
        if (held_.size() >= kCapacity) return -1;
        OwnedDescriptor copy;
        if ((error = DuplicatePrivateDescriptor(directory, copy)) != 0) return -1;
        const int descriptor = copy.Get();
        held_.emplace(relative, std::move(copy));
        return descriptor;
    }
    bool Holds(const std::string& relative) const { return held_.count(relative) != 0; }
    bool Full() const { return held_.size() >= kCapacity; }

private:
    std::unordered_map<std::string, OwnedDescriptor> held_;
};

}  // namespace vxk5
