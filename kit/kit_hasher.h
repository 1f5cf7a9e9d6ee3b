#pragma once
// What a kit's signature covers, taken from the bytes UnpackKit reads: the
// BLAKE2b-512 hash of the file for a prehashed signature, hashed on a thread
// of its own while the unpacking inflates (the two then cost about what the
// inflating alone does), or the file's bytes themselves for a legacy one.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "kit/kit_unpack.h"
#include "kit/minisign.h"

namespace vxk5 {

class KitHasher final : public KitInputObserver {
public:
    explicit KitHasher(minisign::Algorithm algorithm);
    ~KitHasher() override;  // waits for the hashing thread
    KitHasher(const KitHasher&) = delete;
    KitHasher& operator=(const KitHasher&) = delete;

    uint8_t* Buffer(uint32_t size) override;
    void Observe(uint32_t size) override;

    // Ends the hashing and returns what the signature covers. Call once, after
    // the unpacking has returned.
    std::vector<uint8_t> Message();
    uint64_t ObservedBytes() const { return observed_; }

private:
    void HashPieces();

    // Pieces go round the slots: the unpacking fills slot `given_ % kSlots`,
    // and slot `hashed_ % kSlots` is hashed next. A slot is filled again only
    // once it has been hashed, and the inflater is done with it by then (it
    // asks for the next buffer only after inflating the last one). The thread
    // is woken as soon as a piece waits: a piece is 1 MiB of kit, which takes
    // far longer to hash than a wake-up does. When every slot waits, the unpacking
    // hashes the next piece itself rather than wait for a thread the system
    // has not run: the pieces are hashed in order, one at a time, by whichever
    // holds `hashing_`.
    static constexpr uint32_t kSlots = 4;  // 4 MiB of kit at 1 MiB a piece
    static constexpr uint32_t kBatch = 1;
    const minisign::Algorithm algorithm_;
    uint64_t observed_ = 0;
    std::vector<uint8_t> legacyBytes_;  // the whole file, for a legacy signature

    struct Slot {
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t capacity = 0;
        uint32_t size = 0;
    };
    // Hashes the next piece; called with `lock` held and `hashing_` false,
    // returns with it held (released while hashing).
    void HashNextPiece(std::unique_lock<std::mutex>& lock);

    Slot slots_[kSlots];
    std::mutex mutex_;
    std::condition_variable piecesReady_;  // the thread waits on it
    std::condition_variable slotFree_;     // the unpacking waits on it
    uint64_t given_ = 0;           // pieces observed (guarded by mutex_)
    uint64_t hashed_ = 0;          // pieces hashed (guarded by mutex_)
    bool hashing_ = false;         // a piece is being hashed (guarded by mutex_)
    bool ending_ = false;          // guarded by mutex_
    bool hasherWaits_ = false;     // guarded by mutex_
    bool unpackingWaits_ = false;  // guarded by mutex_
    minisign::Hasher hasher_;  // used only by the holder of `hashing_`
    std::thread thread_;
};

}  // namespace vxk5
