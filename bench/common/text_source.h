#pragma once
// Configuration-like text from a fixed pseudo-random sequence (xorshift):
// words, names and numbers, so that deflate finds matches but not only matches
// (about 3:1). The same sequence on every run.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vxk5 {

class TextSource {
public:
    // The next `size` bytes of text.
    std::string Make(size_t size);
    // The same into `out`.
    void Fill(uint8_t* out, size_t size);

private:
    uint64_t Next();
    uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

}  // namespace vxk5
