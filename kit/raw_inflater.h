#pragma once
// A streaming raw deflate inflater (32 KiB history, no header or trailer),
// fed piece by piece and drained into buffers of the caller's. Built on
// ISA-L's inflater, about twice as fast as zlib's on kits.

#include <cstdint>
#include <memory>

struct inflate_state;  // the inflater library's own

namespace vxk5 {

class RawInflater {
public:
    enum class Status {
        Ok,        // progress made or nothing more to do with this input
        Finished,  // the final block has ended; later input is ignored
        Damaged,   // the stream is not valid deflate data
    };

    RawInflater();
    ~RawInflater();
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    // Offers the next piece of the stream; it must stay in place until
    // InputLeft() is 0 or the inflater is dropped.
    void SetInput(const uint8_t* bytes, uint32_t size);
    uint32_t InputLeft() const;

    // Inflates into `room` bytes at `output` and adds what it made to
    // `produced`. Returns when the input is used up, the room is full, the
    // stream has ended or is found damaged.
    Status Inflate(uint8_t* output, uint32_t room, uint32_t& produced);

    // Whole bytes taken in from the input but not decoded (at most 8). Once
    // the stream has finished they are the first bytes after it: the stream
    // ends InputLeft() + HeldBytes() bytes before the end of the input given.
    uint32_t HeldBytes() const;

private:
    std::unique_ptr<inflate_state> state_;
    bool finished_ = false;
};

}  // namespace vxk5
