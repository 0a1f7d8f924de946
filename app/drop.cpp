// Bringing an image in by a drop on the source picture.
#include "failure_reasons.h"
#include "window_model.h"

#include "imaging/mgdip.h"

namespace app {

void WindowModel::Drop(const QStringList& paths)
{
    if (state_.ExitRequested || paths.isEmpty()) return;
    // A drop arrives through the window system's drag-and-drop messages,
    // which do not wait with the user's input: one during a decode or a save
    // is handled after it.
    if (state_.WorkingOffThread) {
        Defer([this, paths] { Drop(paths); });
        return;
    }
    const QString path = paths.first();
    mGdip::LoadedImage loaded;
    WorkOffThread([&] {
        loaded = mGdip::LoadImageFile(path);
        if (mGdip::Succeeded(loaded.status))
            mGdip::PrepareWorkBitmap(mGdip::ImageWidthOf(loaded.image), mGdip::ImageHeightOf(loaded.image));
    });
    // Closed meanwhile: the images are released once this returns.
    if (state_.ExitRequested) return;
    const QString name = mGdip::SourceFileNameOf(path);
    // A file that cannot be decoded changes nothing: the current image, its
    // name and the last result stay.
    if (!mGdip::Succeeded(loaded.status)) {
        view_.ShowMessage(
            QStringLiteral("无法打开图像文件 %1：%2").arg(mGdip::DisplayPath(name), FailureReason(loaded.failure)));
        return;
    }
    state_.SourceFileName = name;
    state_.SourceImage = std::move(loaded.image);
    state_.ImageWidth = mGdip::ImageWidthOf(state_.SourceImage);
    state_.ImageHeight = mGdip::ImageHeightOf(state_.SourceImage);
    // A new image is shown from its top-left corner, and so is the result
    // beside it.
    const bool panned = !state_.ViewOffset.isNull();
    state_.ViewOffset = {};
    DrawSource();
    if (panned) DrawResult();
}

} // namespace app
