#pragma once
// Where an encoder's bytes go. A failed write keeps the system's error
// number, so the caller can tell a full disk from other failures.

#include <cstddef>

namespace imaging {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // All of `size` bytes, or false.
    virtual bool write(const unsigned char* data, std::size_t size) = 0;
    // errno of the first failed write; 0 when none failed.
    virtual int error() const noexcept = 0;
};

} // namespace imaging
