#pragma once
// Reading the kit into the in-memory model, and the model's description queries.

#include <cstdint>
#include <memory>

#include "base/wstring.h"
#include "kit/distribution_kit.h"
#include "kit/kit_unpack.h"

namespace vxk5 {

// Unpacks the kit at `kitPath` into a new temporary container and reads the
// descriptions and the file table: on success `kit` is the kit read, with the
// container open for reading. An earlier kit in `kit` is given up first. On
// failure `kit` keeps only the descriptions read before the failure, without
// entries or container (closed; it has no name, so nothing is left), and the
// code is returned: a code of CreateKitContainer or
// UnpackKit (ERR_NOT_FOUND, ERR_INVALID_DATA, ERR_INVALID_PARAMETER,
// ERR_TEMP_NOT_CREATED), the read's code (ERR_NOT_FOUND or
// ERR_INVALID_PARAMETER), or ERR_INVALID_DATA when the
// container ends inside a field or a record does not hold its fields.
// A kit read whole has its deflate stream checked against the check after it
// (kit_trailer.h; ERR_INVALID_DATA when they differ); the kit's Check() says
// what was found, also after such a failure.
// `observer` (optional) is shown the kit's bytes as they are unpacked (UnpackKit).
//
// FileTableFirst (without an observer only) unpacks no more than the
// descriptions and the file table need, give or take a few MiB, and leaves
// the data area to UnpackRest: a run that writes no file never inflates it.
// A data area that is damaged, runs short or does not hold every entry's
// bytes, or a stream that does not match its check, is then found by
// UnpackRest.
enum class KitReading { Whole, FileTableFirst };
[[nodiscard]] uint32_t ReadKit(std::unique_ptr<DistributionKit>& kit, const WString& kitPath,
                               KitInputObserver* observer = nullptr, KitReading reading = KitReading::Whole);

// Unpacks what ReadKit left of the data area, if anything, checks the stream
// against the kit's check and that every entry's bytes lie inside the
// container: ERR_SUCCESS, UnpackKit's codes, or ERR_INVALID_DATA for an entry
// past the end. The same code every
// time after the first; ERR_SUCCESS for a kit read whole.
// After StartUnpackingRest, waits for that unpacking's end, with the same codes.
[[nodiscard]] uint32_t UnpackRest(DistributionKit& kit);

// Starts unpacking what ReadKit left of the data area on a thread of its
// own, so that copying can begin with the first entries' bytes
// (WaitForEntryBytes) and UnpackRest waits for the end. ERR_SUCCESS when it
// has started, or was started or never needed before; the code of an
// unpacking that failed already. Without a thread to start, the data area is
// unpacked here, whole, with UnpackRest's codes.
//
// IntoFiles, for a kit whose entries follow one another
// (EntriesFollowOneAnother), starts no thread and leaves the container as
// it is: the bytes past its head are inflated as the files ask for them
// (DeliverEntryBytes, entry_stream.h), on the asking thread, in the
// entries' order, and the entries before the last one asked for cannot be
// copied again; UnpackRest inflates the rest for nobody and checks it. A
// kit copied from once only. Any other kit is unpacked as ThroughContainer.
enum class RestDelivery { ThroughContainer, IntoFiles };
[[nodiscard]] uint32_t StartUnpackingRest(DistributionKit& kit,
                                          RestDelivery delivery = RestDelivery::ThroughContainer);

// Waits until entry `index`'s bytes are in the container: from any number
// of threads while StartUnpackingRest's unpacking runs; otherwise, from one,
// UnpackRest. ERR_SUCCESS, or UnpackRest's codes (the unpacking failed, or
// ended before those bytes). While the data area is inflated into the
// files, ERR_SUCCESS at once: only EntryBytesInContainer's are there.
[[nodiscard]] uint32_t WaitForEntryBytes(DistributionKit& kit, size_t index);

// Product and vendor of the first description whose language matches
// `language` without regard to case; both empty when none does or there is
// no kit.
void GetProductInfo(const DistributionKit* kit, const WString& language, WString& product, WString& vendor);

// The description path for `language` (case ignored) when that is not empty,
// otherwise that of the first "en" description, otherwise (or without a kit) empty.
WString GetDescriptionName(const DistributionKit* kit, const WString& language);

}  // namespace vxk5
