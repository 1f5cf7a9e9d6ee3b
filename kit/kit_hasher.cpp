#include "kit/kit_hasher.h"

namespace vxk5 {

KitHasher::KitHasher(minisign::Algorithm algorithm) : algorithm_(algorithm) {
    if (algorithm_ == minisign::Algorithm::Prehashed) thread_ = std::thread([this] { HashPieces(); });
}

KitHasher::~KitHasher() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ending_ = true;
        }
        piecesReady_.notify_one();
        thread_.join();
    }
}

uint8_t* KitHasher::Buffer(uint32_t size) {
    if (algorithm_ == minisign::Algorithm::Legacy) {
        legacyBytes_.resize(observed_ + size);
        return legacyBytes_.data() + observed_;
    }
    Slot* slot = nullptr;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (given_ - hashed_ == kSlots) {
            unpackingWaits_ = true;
            slotFree_.wait(lock, [this] { return given_ - hashed_ < kSlots; });
            unpackingWaits_ = false;
        }
        slot = &slots_[given_ % kSlots];
    }
    // The slot is the unpacking's until Observe hands it over.
    if (slot->capacity < size) {
        slot->bytes.reset(new uint8_t[size]);
        slot->capacity = size;
    }
    return slot->bytes.get();
}

void KitHasher::Observe(uint32_t size) {
    observed_ += size;
    if (algorithm_ == minisign::Algorithm::Legacy) {
        legacyBytes_.resize(observed_);
        return;
    }
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[given_ % kSlots].size = size;
        ++given_;
        wake = hasherWaits_ && given_ - hashed_ >= kBatch;
    }
    if (wake) piecesReady_.notify_one();
}

void KitHasher::HashPieces() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        hasherWaits_ = true;
        // A full ring (the unpacking waiting) holds more than a batch.
        piecesReady_.wait(lock, [this] { return given_ - hashed_ >= kBatch || ending_; });
        hasherWaits_ = false;
        while (hashed_ < given_) {
            const Slot& slot = slots_[hashed_ % kSlots];
            lock.unlock();
            hasher_.Update(slot.bytes.get(), slot.size);
            lock.lock();
            ++hashed_;
            if (unpackingWaits_) slotFree_.notify_one();
        }
        if (ending_) return;
    }
}

std::vector<uint8_t> KitHasher::Message() {
    if (algorithm_ == minisign::Algorithm::Legacy) return std::move(legacyBytes_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    piecesReady_.notify_one();
    if (thread_.joinable()) thread_.join();
    const minisign::Blake2b512 hash = hasher_.Final();
    return std::vector<uint8_t>(hash.begin(), hash.end());
}

}  // namespace vxk5
