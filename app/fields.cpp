// The tolerance slider and field, and the four replacement color fields: only
// digits, values clamped to 0..255, slider and field mirrored.
#include "form1.h"

namespace app {
namespace {

// The field's value, 0 when empty; any value above 255 (however many digits)
// is 255. Text that is not digits (it cannot be typed or pasted) reads as 0.
int FieldValue(const QString& text)
{
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
        value = std::min(256, value * 10 + (c.unicode() - '0'));
    }
    return std::clamp(value, 0, 255);
}

} // namespace

void Form1::HScroll1Change()
{
    TxtCF->setText(QString::number(HScroll1->value()));
    state_.Tolerance = HScroll1->value();
}

void Form1::TxtCFChange()
{
    TxtCF->setText(QString::number(FieldValue(TxtCF->text())));
    HScroll1->setValue(FieldValue(TxtCF->text()));
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
