// Which operation of the model each control's event reaches.
#include "form1.h"

namespace app {

void Form1::ConnectHandlers()
{
    // The processing buttons only post their command; the loop runs it.
    connect(CMDTransP, &QPushButton::clicked, this, [this] { model_.PostCommand(passes::kSimpleRemoval); });
    connect(CMDARec, &QPushButton::clicked, this, [this] { model_.PostCommand(passes::kAlphaRestoringRemoval); });
    connect(CMDChange, &QPushButton::clicked, this, [this] { model_.PostCommand(passes::kColorReplacement); });

    connect(CmdPick, &QPushButton::clicked, this, [this] { CmdPickClick(); });
    connect(CmdPickP, &QPushButton::clicked, this, [this] { model_.PickReplacementNext(); });
    connect(CMDSAVE, &QPushButton::clicked, this, [this] { model_.Save(); });

    Pic1->onMouseUp = [this](Qt::MouseButton, Qt::KeyboardModifiers, QPointF position) { model_.PickAt(position); };
    Pic1->onFilesDropped = [this](const QStringList& files, QPointF) { model_.Drop(files); };
    // Either picture pans both.
    for (PictureBox* box : {Pic1, Pic2}) {
        box->onWheel = [this](QPoint angle, QPoint pixels, Qt::KeyboardModifiers modifiers) {
            model_.PanByWheel(angle, pixels, modifiers);
        };
        // The picture follows the pointer.
        box->onMiddleDrag = [this](QPoint moved) { model_.PanBy(-moved); };
        box->onKey = [this](int key, Qt::KeyboardModifiers modifiers) { return model_.PanByKey(key, modifiers); };
    }

    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int value) {
        if (!showingState_) model_.ToleranceSlid(value);
    });
    connect(TxtCF, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!showingState_) model_.ToleranceTyped(text);
    });
    for (DigitField* field : TxtCol)
        connect(field, &QLineEdit::textChanged, this, [this] {
            if (!showingState_)
                model_.ColorFieldsTyped({TxtCol[0]->text(), TxtCol[1]->text(), TxtCol[2]->text(), TxtCol[3]->text()});
        });
}

void Form1::CmdPickClick()
{
    const std::optional<QColor> chosen = options_.chooseColor(dialogColor_);
    if (!chosen) return; // cancelled: nothing changes
    dialogColor_ = *chosen;
    model_.ReplacementChosen({chosen->red(), chosen->green(), chosen->blue()});
}

} // namespace app
