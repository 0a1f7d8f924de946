#pragma once
// How the window's number fields read: only digits, an empty field is 0, and
// every value is clamped to its range however many digits were typed.

#include <QString>

#include <cstdint>

namespace app {

// A color field (0..255). Text that is not all digits (it cannot be typed or
// pasted) reads as 0, as an empty field does.
std::int32_t ColorFieldValue(const QString& text);

// The tolerance field, within the tolerance's range.
std::int32_t ToleranceFieldValue(const QString& text);

} // namespace app
