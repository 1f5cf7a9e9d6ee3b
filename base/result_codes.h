#pragma once
// Result codes shared by every layer: 0 is success, the others follow a desktop
// operating system's numbering.

#include <cstdint>

namespace vxk5 {

constexpr uint32_t ERR_SUCCESS = 0;
constexpr uint32_t ERR_NOT_FOUND = 2;
constexpr uint32_t ERR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERR_INVALID_HANDLE = 6;
constexpr uint32_t ERR_INVALID_DATA = 13;
constexpr uint32_t ERR_INVALID_PARAMETER = 87;
constexpr uint32_t ERR_DISK_FULL = 112;
constexpr uint32_t ERR_TEMP_NOT_CREATED = 1013;

}  // namespace vxk5
