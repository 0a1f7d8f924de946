// Start-up, the command loop that runs the passes, and closing.
#include "window_model.h"

#include <QCoreApplication>

namespace app {

WindowModel::WindowModel(ModelView& view, ModelOptions options) : view_(view), options_(std::move(options)) { }

WindowModel::~WindowModel()
{
    // The start-up failure is no longer this view's to show.
    mGdip::SetMessagePresenter({});
}

void WindowModel::Start(mGdip::Surface source, mGdip::Surface result, passes::OleColor resultBackColor)
{
    mGdip::SetMessagePresenter([this](const QString& message, std::int32_t, const QString& title) {
        view_.ShowStartupFailure(title, message);
    });
    mGdip::StartImaging(true, true, QStringLiteral("GDI+ 初始化错误。程序即将关闭。"), mGdip::kCriticalMessageStyle,
        QStringLiteral("初始化错误"));
    state_.SourceSurface = std::move(source);
    state_.ResultSurface = std::move(result);
    resultBackColor_ = resultBackColor;
    state_.Tolerance = passes::kTolerance.initial;
    state_.TargetAlpha = 255;
}

void WindowModel::CommandLoop()
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
    // Where closing had to leave the images to work still using them, they
    // are released now; otherwise this does nothing more.
    ReleaseImaging();
}

void WindowModel::PostCommand(std::int16_t command) { state_.PendingCommand = command; }

void WindowModel::RunPendingCommand()
{
    // A fresh work bitmap; the previous one is released first.
    state_.WorkBitmap = {};
    mGdip::BitmapForPass work;
    mGdip::CreateWorkBitmapForPass(state_.ImageWidth, state_.ImageHeight, mGdip::kPixelFormat32bppARGB, work);

    state_.ResultDrawn = false;
    passes::Channel r, g, b;
    passes::SplitOleColor(resultBackColor_, r, g, b);
    mGdip::ClearSurface(state_.ResultSurface, passes::MakeArgb(255, r, g, b));

    const std::int32_t command = state_.PendingCommand;
    // The pass reads the image it started with, whatever is dropped meanwhile,
    // and its result keeps that image's size and name.
    const mGdip::Image source = state_.SourceImage;
    const std::int32_t width = mGdip::ImageWidthOf(source), height = mGdip::ImageHeightOf(source);
    state_.ResultFileName = state_.SourceFileName;
    // Key and tolerance are read from the state by reference, so changes made
    // during the pass reach the pixels not yet visited; the replacement is
    // taken once, here.
    const passes::ArgbChannels replacement{
        state_.TargetAlpha, state_.ReplacementColor.R, state_.ReplacementColor.G, state_.ReplacementColor.B};
    const passes::PassImages images{
        source.pixels(), work.canvas(), passes::PassYield(options_.yieldSlice, [this] { return YieldDuringPass(); })};

    view_.ShowBusy(true);
    state_.PassRunning = true;
    const passes::PassOutcome outcome =
        passes::RunPassCommand(command, images, width, height, state_.KeyColor, state_.Tolerance, replacement);
    state_.PassRunning = false;
    view_.ShowBusy(false);
    state_.WorkBitmap = std::move(work).painted();

    if (state_.ExitRequested) {
        // The window closed during the pass: release now that nothing uses it.
        ReleaseImaging();
        return;
    }
    // Drawn from the offset the source is shown from, so the two stand side by side.
    state_.ResultDrawn = outcome == passes::PassOutcome::Completed && command >= passes::kSimpleRemoval
        && command <= passes::kColorReplacement && !state_.WorkBitmap.isNull();
    DrawResult();
    // A processing button pressed during the pass has no lasting effect.
    state_.PendingCommand = passes::kNoCommand;
    if (state_.SaveRequested) {
        state_.SaveRequested = false;
        SaveResult();
    }
}

bool WindowModel::YieldDuringPass()
{
    if (options_.onPassYield) options_.onPassYield();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !state_.ExitRequested;
}

void WindowModel::Close()
{
    state_.ExitRequested = true;
    // A running pass still reads and paints the images: it stops at its next
    // yield and the command loop releases them then. So does a decode or an
    // encode, which runs to its end.
    if (!state_.PassRunning && !state_.WorkingOffThread) ReleaseImaging();
}

void WindowModel::ReleaseImaging()
{
    state_.SourceImage = {};
    state_.WorkBitmap = {};
    state_.SourceSurface = {};
    state_.ResultSurface = {};
    mGdip::ShutdownImaging();
}

} // namespace app
