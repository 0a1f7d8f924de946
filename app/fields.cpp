// The tolerance slider and field, and the four replacement color fields:
// values clamped to their range, slider and field showing one tolerance.
#include "fields.h"
#include "window_model.h"

#include <algorithm>

namespace app {
namespace {

std::int32_t DigitsValue(const QString& text, std::int32_t maximum)
{
    std::int32_t value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
        value = std::min(maximum + 1, value * 10 + (c.unicode() - '0'));
    }
    return std::min(value, maximum);
}

} // namespace

std::int32_t ColorFieldValue(const QString& text) { return DigitsValue(text, 255); }

std::int32_t ToleranceFieldValue(const QString& text)
{
    return passes::kTolerance.clamp(DigitsValue(text, passes::kTolerance.maximum));
}

void WindowModel::ToleranceSlid(std::int32_t value)
{
    state_.Tolerance = passes::kTolerance.clamp(value);
    view_.ShowTolerance(state_.Tolerance);
}

void WindowModel::ToleranceTyped(const QString& text)
{
    state_.Tolerance = ToleranceFieldValue(text);
    view_.ShowTolerance(state_.Tolerance);
}

void WindowModel::ColorFieldsTyped(const std::array<QString, 4>& texts)
{
    state_.TargetAlpha = ColorFieldValue(texts[0]);
    state_.ReplacementColor = {ColorFieldValue(texts[1]), ColorFieldValue(texts[2]), ColorFieldValue(texts[3])};
    view_.ShowReplacementColor(state_.TargetAlpha, state_.ReplacementColor);
}

} // namespace app
