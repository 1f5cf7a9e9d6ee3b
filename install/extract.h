#pragma once
// Writing one kit entry to its destination, and the check that an entry's name
// stays inside the template directory.

#include <cstdint>

#include "base/wstring.h"
#include "platform/file_entries.h"
#include "platform/kernel_copy.h"

namespace vxk5 {

class DistributionKit;

// Makes the new file `destination` (never through a link, never over an
// existing entry; with `directory` a descriptor, the file is made by its
// last component inside that directory, so no link in its parents is
// followed), copies entry `index` from the kit's container into it, gives it
// the entry's time (whole seconds) and closes it; every one of these steps is
// checked. The bytes are copied inside the kernel where it can copy from the
// container to the destination, else read at their offset into the kit's copy
// buffer and written from there; a refusal of the kernel copy is remembered
// in the kit. While the kit's data area is inflated straight into the files
// (StartUnpackingRest with RestDelivery::IntoFiles), the bytes past the
// container's head come from the inflater: entries are then written by one
// thread, in the entries' order, and a damaged stream gives ERR_INVALID_DATA.
// On success a Failure with ERR_SUCCESS. Otherwise its code is the
// open's; the copy's, read's, write's, time-setting's or close's last error;
// ERR_INVALID_DATA when the entry runs past the end of the container;
// ERR_INVALID_HANDLE for a kit without an open container;
// ERR_INVALID_PARAMETER for a kit without a copy buffer or an index out of
// range. Its errno is that of the failed system call (0 when none failed) and
// its path `destination`.
Failure ExtractEntry(DistributionKit& kit, size_t index, const WString& destination, int directory = -1);

// The same into the new file `name` inside the open directory `directory`;
// `shown` is the path a failure is reported with. `identity`, when given,
// receives the new file's device and inode; with `sync` the file's bytes are
// on the disk (fsync) before it is closed. With `exactTime` the file gets the
// entry's time to the 100 ns the kit holds instead of whole seconds.
// `buffer`, when given, takes the kit's copy buffer's place (a second thread
// writing files needs memory of its own): CopyBufferSize() bytes.
Failure ExtractEntryAt(DistributionKit& kit, size_t index, int directory, const std::string& name,
                       const std::string& shown, EntryIdentity* identity = nullptr, bool sync = false,
                       bool exactTime = false, uint8_t* buffer = nullptr);

// Puts `copy` in place of the kernel copy ExtractEntry uses (CopyInKernel;
// null puts it back). For tests; not while a job runs.
void SetKernelCopyFunction(KernelCopyFunction copy);

}  // namespace vxk5
