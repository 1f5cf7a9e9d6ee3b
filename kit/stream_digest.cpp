#include "kit/stream_digest.h"

// The hash is compiled into this file: no library to load, and its loops
// inlined for the processor the program was built for.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <new>

namespace vxk5 {

struct StreamDigest::State {
    XXH3_state_t* xxh = nullptr;
    State() : xxh(XXH3_createState()) {
        if (xxh == nullptr) throw std::bad_alloc();
        (void)XXH3_64bits_reset(xxh);  // fails only for a null state
    }
    ~State() { XXH3_freeState(xxh); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

StreamDigest::StreamDigest() : state_(std::make_unique<State>()) {}
StreamDigest::~StreamDigest() = default;

void StreamDigest::Update(const uint8_t* bytes, size_t size) {
    if (size != 0) (void)XXH3_64bits_update(state_->xxh, bytes, size);  // fails only for null input
}

uint64_t StreamDigest::Value() const { return XXH3_64bits_digest(state_->xxh); }

uint64_t DigestOf(const uint8_t* bytes, size_t size) { return XXH3_64bits(bytes, size); }

}  // namespace vxk5
