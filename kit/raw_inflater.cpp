#include "kit/raw_inflater.h"

#include <isa-l/igzip_lib.h>

namespace vxk5 {

RawInflater::RawInflater() : state_(std::make_unique<inflate_state>()) {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_DEFLATE;  // raw deflate: no header, no checksum
    state_->hist_bits = 0;            // the full 32 KiB history
}

RawInflater::~RawInflater() = default;

void RawInflater::SetInput(const uint8_t* bytes, uint32_t size) {
    state_->next_in = const_cast<uint8_t*>(bytes);
    state_->avail_in = size;
}

uint32_t RawInflater::InputLeft() const { return state_->avail_in; }

uint32_t RawInflater::HeldBytes() const {
    // The inflater reads ahead into a 64-bit buffer and does not give back
    // what it read past the final block.
    return state_->read_in_length > 0 ? static_cast<uint32_t>(state_->read_in_length) / 8 : 0;
}

RawInflater::Status RawInflater::Inflate(uint8_t* output, uint32_t room, uint32_t& produced) {
    if (finished_) return Status::Finished;
    state_->next_out = output;
    state_->avail_out = room;
    // Every code but success names a damage of the stream (a reserved block
    // type, a bad stored length, an invalid code or symbol, a distance reaching
    // back before the stream's start); the wrapper and dictionary codes cannot
    // occur for raw deflate and would be damage as well.
    const int result = isal_inflate(state_.get());
    produced += room - state_->avail_out;
    if (result != ISAL_DECOMP_OK) return Status::Damaged;
    if (state_->block_state == ISAL_BLOCK_FINISH) {
        finished_ = true;
        return Status::Finished;
    }
    return Status::Ok;
}

}  // namespace vxk5
