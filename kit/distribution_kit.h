#pragma once
// The in-memory kit: the descriptions and the file table read from the unpacked
// container, the container's path and open handle, and the copy buffer the
// installation moves file bytes through. Read-only after ReadKit, except that
// the installation moves the handle's position and fills the buffer, and that
// the data area of a kit read file table first is unpacked when first needed.

#include <cstdint>
#include <memory>
#include <vector>

#include "base/wstring.h"
#include "platform/file_handle.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

class KitUnpacker;

struct KitDescription {
    WString language;
    WString product;
    WString vendor;
    WString descriptionPath;  // relative to the template directory, "\" separated
};

struct KitFileEntry {
    WString name;  // relative path as stored ("\" separators unchanged)
    uint32_t timeLow = 0;
    uint32_t timeHigh = 0;
    uint32_t offset = 0;  // absolute offset in the unpacked container
    uint32_t size = 0;
};

constexpr uint32_t kKitCopyBufferSize = 1048576;

struct DistributionKit {
    DistributionKit();
    ~DistributionKit();  // closes and deletes the unpacked container
    DistributionKit(const DistributionKit&) = delete;
    DistributionKit& operator=(const DistributionKit&) = delete;

    std::vector<KitDescription> descriptions;
    std::vector<KitFileEntry> entries;
    WString tempPath;  // empty: ReadKit's container is an unnamed file; deleted on release when set
    OwnedDescriptor tempHandle;
    uint32_t bufferSize = kKitCopyBufferSize;
    std::unique_ptr<uint8_t[]> buffer;
    // Cleared once the kernel has refused to copy from the container into a
    // destination: the bytes then go through the buffer for good.
    bool copyInKernel = true;
    // The unpacking of the data area, when the kit was read file table
    // first and no file's bytes have been needed yet (see UnpackRest).
    std::unique_ptr<KitUnpacker> rest;
    uint32_t restFailure = 0;  // what unpacking the rest gave, once it failed
};

}  // namespace vxk5
