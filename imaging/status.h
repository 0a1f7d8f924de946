#pragma once
// Status codes of the imaging operations: 0 is success. The values follow the
// numbering the original imaging library used, so logs and tests stay stable.

#include <cstdint>

namespace mGdip {

enum class ImagingStatus : std::int32_t {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    NotImplemented = 6,
    Win32Error = 7, // an operating-system call failed (file system)
    WrongState = 8,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    NotInitialized = 18,
};

constexpr bool Succeeded(ImagingStatus s) noexcept { return s == ImagingStatus::Ok; }

} // namespace mGdip
