// A bounded queue of bytes for one direction of a proxied connection: when it is full the door
// stops reading the side that fills it, so a slow reader slows its writer instead of growing the door.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace cog::door {

class ByteBuffer {
public:
    explicit ByteBuffer(size_t capacity) : capacity_(capacity) {}
    size_t size() const { return bytes_.size() - head_; }
    bool empty() const { return size() == 0; }
    size_t space() const { return capacity_ > size() ? capacity_ - size() : 0; }
    std::string_view front() const { return std::string_view(bytes_).substr(head_); }
    // Appends what fits; returns how much did.
    size_t append(std::string_view more) {
        const size_t taken = std::min(more.size(), space());
        if (head_ > 0 && head_ + size() + taken > capacity_) compact();
        bytes_.append(more.data(), taken);
        return taken;
    }
    // Appends everything, past the bound (the door's own small writes: a request head, a header).
    void append_all(std::string_view more) {
        if (head_ > 0) compact();
        bytes_.append(more);
    }
    void consume(size_t count) {
        head_ += std::min(count, size());
        if (head_ == bytes_.size()) clear();
    }
    void clear() {
        bytes_.clear();
        head_ = 0;
        // An idle connection gives back what a burst made it hold.
        if (bytes_.capacity() > 16384) bytes_.shrink_to_fit();
    }

private:
    void compact() {
        bytes_.erase(0, head_);
        head_ = 0;
    }

    size_t capacity_;
    std::string bytes_;
    size_t head_ = 0;
};

} // namespace cog::door
