#pragma once
// Helpers for kit tests: containers and kit files made on the spot, and the
// temporary directory where unpacked containers go.

#include <memory>
#include <string>
#include <vector>

#include "base/wstring.h"
#include "kit/distribution_kit.h"

using namespace vxk5;

// Raw deflate at level 9, as the kit tool writes.
std::string Deflate(const std::string& container);

// A raw deflate stream of stored blocks of the given sizes (the last one
// final) carrying `data`, whose size must be their sum: its length is known
// exactly, 5 bytes per block plus the data.
std::string StoredDeflate(const std::string& data, const std::vector<size_t>& blockSizes);
// `data` in stored blocks of `block` bytes each (the last one shorter).
std::string StoredInBlocks(const std::string& data, size_t block);

// Bytes that deflate finds matches in, but not only matches.
std::string TextLikeBytes(size_t size, uint32_t start = 1);

// Files in `directory` whose names begin with "edf" (unpacked containers).
std::vector<std::string> ContainerFiles(const std::string& directory);

// The `size` bytes at `offset` of the kit's open container.
std::string ReadContainer(const std::unique_ptr<DistributionKit>& kit, uint32_t offset, uint32_t size);
