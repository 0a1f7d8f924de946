// Start-up, the command loop that runs the passes, and closing.
#include "form1.h"
#include "texts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

namespace app {

int Form1::Load()
{
    if (!options_.chooseColor)
        options_.chooseColor = [this](const QColor& current) -> std::optional<QColor> {
            // Qt's own dialog, which speaks the window's language; a native one
            // would follow the desktop's.
            const QColor chosen = QColorDialog::getColor(current, this, QString(), QColorDialog::DontUseNativeDialog);
            if (!chosen.isValid()) return std::nullopt;
            return chosen;
        };
    if (!options_.showMessage)
        options_.showMessage = [this](const QString& text) { QMessageBox::warning(this, texts::kCaption, text); };

    if (!options_.showStartupFailure)
        options_.showStartupFailure = [](const QString& title, const QString& text) {
            QMessageBox::critical(nullptr, title, text);
        };
    mGdip::SetMessagePresenter([this](const QString& message, std::int32_t, const QString& title) {
        options_.showStartupFailure(title, message);
    });
    mGdip::StartImaging(true, true, texts::kStartupFailure, mGdip::kCriticalMessageStyle,
                        texts::kStartupFailureTitle);
    state_.SourceSurface = Pic1->surface();
    state_.ResultSurface = Pic2->surface();
    state_.Tolerance = passes::kTolerance.initial;
    state_.TargetAlpha = 255;

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    Pic1->setFocus();
    CommandLoop();
    return 0;
}

void Form1::CommandLoop()
{
    while (!state_.ExitRequested) {
        if (state_.PendingCommand != passes::kNoCommand) RunPendingCommand();
        if (state_.ExitRequested) break;
        // A loop of our own must ask for deferred deletes; Qt's loop would
        // run them itself.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // Sleeps until the window system has something for us.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    // Where the close handler had to leave the images to work still using
    // them, they are released now; otherwise this does nothing more.
    ReleaseImaging();
}

void Form1::RunPendingCommand()
{
    // A fresh work bitmap; the previous one is released first.
    state_.WorkBitmap = {};
    mGdip::BitmapForPass work;
    mGdip::CreateWorkBitmapForPass(state_.ImageWidth, state_.ImageHeight, mGdip::kPixelFormat32bppARGB, work);

    passes::Channel r, g, b;
    passes::SplitOleColor(Pic2->backColor(), r, g, b);
    mGdip::ClearSurface(state_.ResultSurface, passes::MakeArgb(255, r, g, b));

    const std::int32_t command = state_.PendingCommand;
    if (command == passes::kColorReplacement) state_.TargetAlpha = TxtCol[0]->text().toInt();
    // The pass reads the image it started with, whatever is dropped meanwhile,
    // and its result keeps that image's size and name.
    const mGdip::Image source = state_.SourceImage;
    const std::int32_t width = mGdip::ImageWidthOf(source), height = mGdip::ImageHeightOf(source);
    state_.ResultFileName = state_.SourceFileName;
    const passes::ArgbChannels replacement{state_.TargetAlpha, state_.ReplacementColor.R,
                                           state_.ReplacementColor.G, state_.ReplacementColor.B};
    const passes::PassImages images{source.pixels(), work.canvas(),
                                    passes::PassYield(options_.yieldSlice, [this] { return YieldDuringPass(); })};

    QApplication::setOverrideCursor(Qt::WaitCursor);
    state_.PassRunning = true;
    const passes::PassOutcome outcome =
        passes::RunPassCommand(command, images, width, height, state_.KeyColor, state_.Tolerance, replacement);
    state_.PassRunning = false;
    QApplication::restoreOverrideCursor();
    state_.WorkBitmap = std::move(work).painted();

    if (state_.ExitRequested) {
        // The window closed during the pass: release now that nothing uses it.
        ReleaseImaging();
        return;
    }
    if (outcome == passes::PassOutcome::Completed && command >= passes::kSimpleRemoval
        && command <= passes::kColorReplacement)
        mGdip::DrawImageOneToOne(state_.ResultSurface, state_.WorkBitmap.snapshot(), width, height);
    Pic2->refresh();
    // A processing button pressed during the pass has no lasting effect.
    state_.PendingCommand = passes::kNoCommand;
    if (state_.SaveRequested) {
        state_.SaveRequested = false;
        SaveResult();
    }
}

bool Form1::YieldDuringPass()
{
    if (options_.onPassYield) options_.onPassYield();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !state_.ExitRequested;
}

void Form1::closeEvent(QCloseEvent* event)
{
    state_.ExitRequested = true;
    // A running pass still reads and paints the images: it stops at its next
    // yield and the command loop releases them then. So does a decode or an
    // encode, which runs to its end.
    if (!state_.PassRunning && !state_.WorkingOffThread) ReleaseImaging();
    event->accept();
}

void Form1::ReleaseImaging()
{
    state_.SourceImage = {};
    state_.WorkBitmap = {};
    state_.SourceSurface = {};
    state_.ResultSurface = {};
    mGdip::ShutdownImaging();
}

} // namespace app
