// The tolerance slider and field, and the four replacement color fields: only
// digits, values clamped to their range, slider and field mirrored.
#include "form1.h"

namespace app {
namespace {

constexpr int kChannelMaximum = 255;

// The field's value, 0 when empty; any value above `maximum` (however many
// digits) is `maximum`. Text that is not digits (it cannot be typed or
// pasted) reads as 0.
int FieldValue(const QString& text, int maximum = kChannelMaximum)
{
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
        value = std::min(maximum + 1, value * 10 + (c.unicode() - '0'));
    }
    return std::min(value, maximum);
}

int ToleranceFieldValue(const QString& text)
{
    return passes::kTolerance.clamp(FieldValue(text, passes::kTolerance.maximum));
}

} // namespace

void Form1::HScroll1Change()
{
    TxtCF->setText(QString::number(HScroll1->value()));
    state_.Tolerance = HScroll1->value();
}

void Form1::TxtCFChange()
{
    TxtCF->setText(QString::number(ToleranceFieldValue(TxtCF->text())));
    HScroll1->setValue(ToleranceFieldValue(TxtCF->text()));
    state_.Tolerance = HScroll1->value();
}

void Form1::TxtColChange()
{
    for (DigitField* field : TxtCol) {
        if (field->text().isEmpty()) field->setText(QStringLiteral("0"));
        field->setText(QString::number(FieldValue(field->text())));
    }
    state_.TargetAlpha = FieldValue(TxtCol[0]->text());
    state_.ReplacementColor = {FieldValue(TxtCol[1]->text()), FieldValue(TxtCol[2]->text()),
                               FieldValue(TxtCol[3]->text())};
    const RgbChannels& c = state_.ReplacementColor;
    ShowReplacementColor(passes::MakeOleColor(c.R, c.G, c.B));
}

} // namespace app
