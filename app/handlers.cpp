// Which handler each control's event reaches.
#include "form1.h"

namespace app {

void Form1::ConnectHandlers()
{
    // The processing buttons only post their command; the loop runs it.
    connect(CMDTransP, &QPushButton::clicked, this, [this] { state_.PendingCommand = passes::kSimpleRemoval; });
    connect(CMDARec, &QPushButton::clicked, this, [this] { state_.PendingCommand = passes::kAlphaRestoringRemoval; });
    connect(CMDChange, &QPushButton::clicked, this, [this] { state_.PendingCommand = passes::kColorReplacement; });

    connect(CmdPick, &QPushButton::clicked, this, [this] { CmdPickClick(); });
    connect(CmdPickP, &QPushButton::clicked, this, [this] { state_.PickReplacementFromImage = true; });
    connect(CMDSAVE, &QPushButton::clicked, this, [this] { CmdSaveClick(); });

    Pic1->onMouseUp = [this](Qt::MouseButton, Qt::KeyboardModifiers, QPointF position) { Pic1MouseUp(position); };
    Pic1->onFilesDropped = [this](const QStringList& files, QPointF) { Pic1FilesDropped(files); };

    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1Change(); });
    connect(TxtCF, &QLineEdit::textChanged, this, [this] { TxtCFChange(); });
    for (DigitField* field : TxtCol) connect(field, &QLineEdit::textChanged, this, [this] { TxtColChange(); });
}

} // namespace app
