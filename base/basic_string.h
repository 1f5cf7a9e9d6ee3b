#pragma once
// BasicString: the value type behind WString (UTF-16 units) and AString (bytes).
//
// Layout, in this order:
//   tag      32-bit. 0..kInlineMax is the inline form and the length itself;
//            kHeapTag marks the heap form.
//   storage  inline form: kInlineUnits units, the text followed by a 0 unit.
//            heap form:   begin (the block), end (the terminating 0 unit inside
//            the block) and capacity (units the block holds before its
//            terminator, counting the kCountUnits units of the reference count).
// A heap block is a 64-bit atomic reference count, the text, and a 0 unit. A
// block is shared by every value copied from it and is written only by a value
// holding the sole reference (copy-on-write). A string that once needed the heap
// keeps the heap form even when it shrinks.
//
// Errors: a position past the end raises std::out_of_range("basic_string"), a
// result of 2^63-1 units or more std::length_error("basic_string"), an
// overflowing size std::bad_alloc; the string keeps its text in each case.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace vxk5 {

template <typename Unit, uint32_t InlineUnits, size_t CountUnits>
class BasicString {
public:
    using value_type = Unit;
    static constexpr uint32_t kInlineMax = InlineUnits - 1;  // longest inline text
    static constexpr uint32_t kHeapTag = InlineUnits;
    static constexpr size_t kCountUnits = CountUnits;          // units taken by the count
    static constexpr size_t npos = static_cast<size_t>(-1);

    BasicString() noexcept : storage_{} {}  // the empty inline string, storage zeroed
    BasicString(const Unit* text) : BasicString() { assign(text, Length(text)); }  // NOLINT: literals convert
    BasicString(const Unit* text, size_t count) : BasicString() { assign(text, count); }
    BasicString(const BasicString& other) noexcept : tag_(other.tag_) {
        if (other.IsHeap()) {
            heap_ = other.heap_;
            RefCount().fetch_add(1, std::memory_order_relaxed);
        } else {
            std::memcpy(inline_, other.inline_, sizeof(inline_));
        }
    }
    BasicString(BasicString&& other) noexcept : BasicString() { swap(other); }
    BasicString& operator=(const BasicString& other) {
        BasicString copy(other);
        swap(copy);
        return *this;
    }
    BasicString& operator=(BasicString&& other) noexcept {
        BasicString moved(std::move(other));
        swap(moved);
        return *this;
    }
    ~BasicString() { Release(); }

    void swap(BasicString& other) noexcept {
        std::swap(tag_, other.tag_);
        unsigned char tmp[sizeof(storage_)];
        std::memcpy(tmp, storage_, sizeof(storage_));
        std::memcpy(storage_, other.storage_, sizeof(storage_));
        std::memcpy(other.storage_, tmp, sizeof(storage_));
    }

    size_t length() const noexcept {
        return IsHeap() ? static_cast<size_t>(heap_.end - heap_.begin) - kCountUnits : tag_;
    }
    size_t size() const noexcept { return length(); }
    bool empty() const noexcept { return length() == 0; }
    const Unit* c_str() const noexcept { return IsHeap() ? heap_.begin + kCountUnits : inline_; }
    const Unit* data() const noexcept { return c_str(); }
    const Unit* begin() const noexcept { return c_str(); }
    const Unit* end() const noexcept { return c_str() + length(); }
    Unit operator[](size_t i) const noexcept { return c_str()[i]; }
    Unit back() const noexcept { return c_str()[length() - 1]; }

    // Writable text; takes a private block first when the block is shared.
    Unit* MutableData() {
        MakeUnique();
        return Text();
    }

    // Introspection, for tests of the storage rules.
    bool IsInline() const noexcept { return !IsHeap(); }
    uint64_t HeapCapacity() const noexcept { return IsHeap() ? heap_.capacity : 0; }
    int64_t SharedCount() const noexcept { return IsHeap() ? RefCount().load() : 0; }

    BasicString& assign(const Unit* units, size_t count) {
        if (count <= length()) {
            MakeUnique();
            std::memmove(Text(), units, count * sizeof(Unit));
            CoreResize(count, false);
        } else {
            CoreResize(count, false);
            std::memcpy(Text(), units, count * sizeof(Unit));
        }
        return *this;
    }

    BasicString& append(const Unit* units, size_t count) {
        if (count == 0) return *this;
        const size_t oldLength = length();
        const Unit* text = c_str();
        const bool inside = units >= text && units <= text + oldLength;
        const size_t offset = inside ? static_cast<size_t>(units - text) : 0;
        CoreResize(oldLength + count, true);
        const Unit* source = inside ? Text() + offset : units;
        std::memmove(Text() + oldLength, source, count * sizeof(Unit));
        return *this;
    }
    BasicString& append(const BasicString& other) { return append(other.c_str(), other.length()); }
    BasicString& append(const BasicString& other, size_t position, size_t count) {
        if (position > other.length()) throw std::out_of_range("basic_string");
        const size_t k = count < other.length() - position ? count : other.length() - position;
        return append(other.c_str() + position, k);
    }
    BasicString& push_back(Unit unit) { return append(&unit, 1); }
    BasicString& operator+=(const BasicString& other) { return append(other); }
    BasicString& operator+=(const Unit* text) { return append(text, Length(text)); }
    BasicString& operator+=(Unit unit) { return push_back(unit); }

    // Inserts [first, last) before position.
    BasicString& insert(size_t position, const Unit* first, const Unit* last) {
        const size_t oldLength = length();
        if (position > oldLength) throw std::out_of_range("basic_string");
        const size_t count = static_cast<size_t>(last - first);
        if (count == 0) return *this;
        BasicString source(first, count);  // the run may lie inside this string
        CoreResize(oldLength + count, true);
        Unit* text = Text();
        std::memmove(text + position + count, text + position, (oldLength - position) * sizeof(Unit));
        std::memcpy(text + position, source.c_str(), count * sizeof(Unit));
        return *this;
    }

    void resize(size_t count, Unit fill = Unit()) {
        const size_t oldLength = length();
        CoreResize(count, false);
        if (count > oldLength) {
            Unit* text = Text();
            for (size_t i = oldLength; i < count; ++i) text[i] = fill;
        }
    }

    BasicString& erase(size_t position = 0, size_t count = npos) {
        const size_t oldLength = length();
        if (position > oldLength) throw std::out_of_range("basic_string");
        const size_t k = count < oldLength - position ? count : oldLength - position;
        if (k == 0) return *this;
        MakeUnique();
        Unit* text = Text();
        std::memmove(text + position, text + position + k, (oldLength - position - k) * sizeof(Unit));
        CoreResize(oldLength - k, false);
        return *this;
    }
    // Removes [first, last); returns the place of the first unit after the run.
    const Unit* erase(const Unit* first, const Unit* last) {
        const size_t position = static_cast<size_t>(first - c_str());
        erase(position, static_cast<size_t>(last - first));
        return c_str() + position;
    }

    // Replaces the units at [position, position + count) by [sourceFirst, sourceLast).
    // A position past the end is an out-of-range error; the count is cut to the
    // units that are there, as erase does.
    BasicString& replace(size_t position, size_t count, const Unit* sourceFirst, const Unit* sourceLast) {
        const size_t oldLength = length();
        if (position > oldLength) throw std::out_of_range("basic_string");
        if (count > oldLength - position) count = oldLength - position;
        const size_t sourceCount = static_cast<size_t>(sourceLast - sourceFirst);
        const size_t tail = oldLength - position - count;
        if (oldLength - count >= kMaxLength - sourceCount) throw std::length_error("basic_string");
        const size_t newLength = oldLength - count + sourceCount;
        const Unit* text = c_str();
        if (sourceFirst < text + oldLength && sourceLast > text) {
            BasicString built;
            built.CoreResize(newLength, false);
            built.CoreResize(0, false);
            built.append(text, position).append(sourceFirst, sourceCount).append(text + position + count, tail);
            swap(built);
            return *this;
        }
        if (newLength > oldLength) CoreResize(newLength, false);
        MakeUnique();
        Unit* out = Text();
        std::memmove(out + position + sourceCount, out + position + count, tail * sizeof(Unit));
        if (newLength < oldLength) CoreResize(newLength, false);
        std::memcpy(Text() + position, sourceFirst, sourceCount * sizeof(Unit));
        return *this;
    }

    size_t find(const Unit* units, size_t count, size_t from = 0) const noexcept {
        const size_t n = length();
        if (count > n) return npos;
        const Unit* text = c_str();
        for (size_t p = from; p + count <= n; ++p) {
            if (std::memcmp(text + p, units, count * sizeof(Unit)) == 0) return p;
        }
        return npos;
    }
    size_t find(const BasicString& what, size_t from = 0) const noexcept { return find(what.c_str(), what.length(), from); }
    size_t find(Unit unit, size_t from = 0) const noexcept { return find(&unit, 1, from); }
    size_t rfind(Unit unit) const noexcept {
        const Unit* text = c_str();
        for (size_t p = length(); p > 0; --p) {
            if (text[p - 1] == unit) return p - 1;
        }
        return npos;
    }
    BasicString substr(size_t position, size_t count = npos) const {
        BasicString result;
        result.append(*this, position, count);
        return result;
    }
    bool StartsWith(const Unit* prefix) const noexcept {
        const size_t n = Length(prefix);
        return n <= length() && std::memcmp(c_str(), prefix, n * sizeof(Unit)) == 0;
    }
    bool EndsWith(Unit unit) const noexcept { return !empty() && back() == unit; }

    int compare(const BasicString& other) const noexcept {
        const size_t a = length(), b = other.length();
        const Unit* x = c_str();
        const Unit* y = other.c_str();
        for (size_t i = 0; i < a && i < b; ++i) {
            if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
        }
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    friend bool operator==(const BasicString& a, const BasicString& b) noexcept {
        return a.length() == b.length() && std::memcmp(a.c_str(), b.c_str(), a.length() * sizeof(Unit)) == 0;
    }
    friend bool operator!=(const BasicString& a, const BasicString& b) noexcept { return !(a == b); }
    friend bool operator==(const BasicString& a, const Unit* literal) noexcept {
        const size_t n = Length(literal);
        return a.length() == n && std::memcmp(a.c_str(), literal, n * sizeof(Unit)) == 0;
    }
    friend bool operator!=(const BasicString& a, const Unit* literal) noexcept { return !(a == literal); }
    friend bool operator<(const BasicString& a, const BasicString& b) noexcept { return a.compare(b) < 0; }

    friend BasicString operator+(const BasicString& a, const BasicString& b) { return Concat(a.c_str(), a.length(), b.c_str(), b.length()); }
    friend BasicString operator+(const BasicString& a, const Unit* b) { return Concat(a.c_str(), a.length(), b, Length(b)); }
    friend BasicString operator+(const Unit* a, const BasicString& b) { return Concat(a, Length(a), b.c_str(), b.length()); }
    friend BasicString operator+(const BasicString& a, Unit b) { return Concat(a.c_str(), a.length(), &b, 1); }

    static size_t Length(const Unit* text) noexcept {
        size_t n = 0;
        while (text[n] != 0) ++n;
        return n;
    }

    // Rounds a growing block's byte size up to its size class.
    static size_t RoundToSizeClass(size_t bytes) noexcept {
        size_t step = 0;
        if (bytes <= 256) step = 8;
        else if (bytes <= 512) step = 16;
        else if (bytes < 1024) step = 32;
        else if (bytes < 2048) step = 64;
        else if (bytes < 4096) step = 128;
        else if (bytes < 8192) step = 256;
        else if (bytes < 16384) step = 512;
        else return bytes;
        return (bytes + step - 1) / step * step;
    }

    static constexpr size_t kMaxLength = (static_cast<size_t>(1) << 63) - 1;

private:
    struct Heap {
        Unit* begin;
        Unit* end;
        uint64_t capacity;
    };

    bool IsHeap() const noexcept { return tag_ == kHeapTag; }
    Unit* Text() noexcept { return IsHeap() ? heap_.begin + kCountUnits : inline_; }
    std::atomic<int64_t>& RefCount() const noexcept {
        return *std::launder(reinterpret_cast<std::atomic<int64_t>*>(heap_.begin));
    }

    // A block with room for `capacity` units and the terminator; count set to 1.
    static Unit* AllocateBlock(size_t capacity) {
        if (capacity >= (static_cast<size_t>(-1) / sizeof(Unit)) - 1) throw std::bad_alloc();
        void* raw = ::operator new((capacity + 1) * sizeof(Unit));
        new (raw) std::atomic<int64_t>(1);
        return static_cast<Unit*>(raw);
    }
    static void FreeBlock(Unit* block) noexcept {
        std::launder(reinterpret_cast<std::atomic<int64_t>*>(block))->~atomic();
        ::operator delete(block);
    }

    void Release() noexcept {
        if (IsHeap() && RefCount().fetch_sub(1, std::memory_order_acq_rel) == 1) FreeBlock(heap_.begin);
    }

    // Gives a heap string a private block of exactly its used size.
    void MakeUnique() {
        if (!IsHeap() || RefCount().load(std::memory_order_acquire) == 1) return;
        const size_t n = length();
        Unit* block = AllocateBlock(n + kCountUnits);
        std::memcpy(block + kCountUnits, c_str(), n * sizeof(Unit));
        block[kCountUnits + n] = 0;
        Release();
        heap_ = Heap{block, block + kCountUnits + n, n + kCountUnits};
    }

    // Sets the length to n; with `grow`, a reallocation takes at least half again.
    void CoreResize(size_t n, bool grow) {
        if (n >= kMaxLength) throw std::length_error("basic_string");
        if (!IsHeap()) {
            if (n <= kInlineMax) {
                tag_ = static_cast<uint32_t>(n);
                inline_[n] = 0;
                return;
            }
            const size_t oldLength = tag_;
            Unit* block = AllocateBlock(n + kCountUnits);
            std::memcpy(block + kCountUnits, inline_, oldLength * sizeof(Unit));
            tag_ = kHeapTag;
            heap_ = Heap{block, block + kCountUnits + oldLength, n + kCountUnits};
        }
        MakeUnique();
        const size_t needed = n + kCountUnits;
        if (heap_.capacity < needed) {
            size_t capacity = needed;
            if (grow) {
                const size_t grown = heap_.capacity + heap_.capacity / 2;
                if (grown > capacity) capacity = grown;
            }
            capacity = RoundToSizeClass(capacity * sizeof(Unit)) / sizeof(Unit);
            Unit* block = AllocateBlock(capacity);
            const size_t used = static_cast<size_t>(heap_.end - heap_.begin);
            std::memcpy(block + kCountUnits, heap_.begin + kCountUnits, (used - kCountUnits) * sizeof(Unit));
            FreeBlock(heap_.begin);
            heap_ = Heap{block, block + used, capacity};
        }
        heap_.end = heap_.begin + needed;
        *heap_.end = 0;
    }

    // A concatenation allocates once: the result is made at its final size.
    static BasicString Concat(const Unit* a, size_t na, const Unit* b, size_t nb) {
        BasicString result;
        if (na + nb > kInlineMax) {
            result.CoreResize(na + nb, false);
            result.CoreResize(0, false);
        }
        result.append(a, na);
        result.append(b, nb);
        return result;
    }

    uint32_t tag_ = 0;
    union {
        Unit inline_[InlineUnits];
        Heap heap_;
        unsigned char storage_[sizeof(Heap) > sizeof(Unit) * InlineUnits ? sizeof(Heap) : sizeof(Unit) * InlineUnits];
    };
};

}  // namespace vxk5
