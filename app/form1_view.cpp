// The model's state, shown in the controls. A field is written only where
// its text differs, so the one being typed in keeps its cursor.
#include "caption_color.h"
#include "form1.h"
#include "picking.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <utility>

namespace app {
namespace {

void ShowNumber(QLineEdit* field, std::int32_t value)
{
    const QString text = QString::number(value);
    if (field->text() != text) field->setText(text);
}

void SetBackground(QLabel* label, QColor color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, color);
    // The caption stays readable on light and dark colors alike.
    palette.setColor(
        QPalette::WindowText, BlackTextReadsBetterOn(color.red(), color.green(), color.blue()) ? Qt::black : Qt::white);
    label->setPalette(palette);
}

} // namespace

void Form1::ShowSource() { Pic1->refresh(); }

void Form1::ShowResult() { Pic2->refresh(); }

void Form1::ShowTolerance(std::int32_t tolerance)
{
    const bool outer = std::exchange(showingState_, true);
    ShowNumber(TxtCF, tolerance);
    HScroll1->setValue(tolerance);
    showingState_ = outer;
}

void Form1::ShowKeyColor(const passes::ArgbChannels& key)
{
    SetBackground(LBCol, QColor(key.R, key.G, key.B));
    LBCol->setText(KeyColorCaption(key));
}

void Form1::ShowReplacementColor(std::int32_t targetAlpha, const RgbChannels& color)
{
    const bool outer = std::exchange(showingState_, true);
    const std::int32_t values[4] = {targetAlpha, color.R, color.G, color.B};
    for (std::size_t i = 0; i < TxtCol.size(); ++i) ShowNumber(TxtCol[i], values[i]);
    SetBackground(LbChange, QColor(color.R, color.G, color.B));
    showingState_ = outer;
}

void Form1::ShowMessage(const QString& text)
{
    if (options_.showMessage)
        options_.showMessage(text);
    else
        QMessageBox::warning(this, windowTitle(), text);
}

void Form1::ShowStartupFailure(const QString& title, const QString& text)
{
    if (options_.showStartupFailure)
        options_.showStartupFailure(title, text);
    else
        QMessageBox::critical(nullptr, title, text);
}

void Form1::ShowBusy(bool busy)
{
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::restoreOverrideCursor();
}

} // namespace app
