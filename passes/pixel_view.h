#pragma once
// Non-owning views of 32-bit ARGB pixel rows, so the passes stay independent
// of any imaging library.

#include <cstddef>
#include <cstdint>

namespace passes {

struct ConstPixelView {
    const std::uint32_t* data = nullptr;
    std::ptrdiff_t stride = 0; // in pixels, from one row to the next
    std::int32_t width = 0;
    std::int32_t height = 0;

    const std::uint32_t* row(std::int32_t y) const noexcept { return data + y * stride; }
};

struct PixelView {
    std::uint32_t* data = nullptr;
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    std::uint32_t* row(std::int32_t y) const noexcept { return data + y * stride; }
    operator ConstPixelView() const noexcept { return {data, stride, width, height}; }
};

} // namespace passes
