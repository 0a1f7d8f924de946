// Bringing an image in by a drop, and picking the key and replacement colors.
#include "caption_color.h"
#include "failure_reasons.h"
#include "form1.h"
#include "pixel_position.h"
#include "texts.h"

#include "imaging/file_naming.h"

namespace app {

void Form1::Pic1FilesDropped(const QStringList& files)
{
    if (state_.ExitRequested) return;
    // A drop arrives through the window system's drag-and-drop messages,
    // which do not wait with the user's input: one during a decode or a save
    // is handled after it.
    if (state_.WorkingOffThread) {
        Defer([this, files] { Pic1FilesDropped(files); });
        return;
    }
    const QString path = files.first();
    // A file that cannot be decoded changes nothing: the current image, its
    // name and the last result stay.
    mGdip::LoadedImage loaded;
    WorkOffThread([&] {
        loaded = mGdip::LoadImageFile(path);
        if (mGdip::Succeeded(loaded.status))
            mGdip::PrepareWorkBitmap(mGdip::ImageWidthOf(loaded.image), mGdip::ImageHeightOf(loaded.image));
    });
    // Closed meanwhile: the images are released once this returns.
    if (state_.ExitRequested) return;
    const QString name = mGdip::SourceFileNameOf(path);
    if (!mGdip::Succeeded(loaded.status)) {
        options_.showMessage(texts::kCannotOpen.arg(name, OpenFailureReason(loaded.status)));
        return;
    }
    state_.SourceFileName = name;
    state_.SourceImage = std::move(loaded.image);
    state_.ImageWidth = mGdip::ImageWidthOf(state_.SourceImage);
    state_.ImageHeight = mGdip::ImageHeightOf(state_.SourceImage);
    mGdip::ClearSurface(state_.SourceSurface, passes::MakeArgb(255, 0, 0, 0));
    mGdip::DrawImageOneToOne(state_.SourceSurface, state_.SourceImage, state_.ImageWidth, state_.ImageHeight);
    Pic1->refresh();
}

void Form1::Pic1MouseUp(QPointF position)
{
    const QPoint pixel = NearestPixel(position);
    const std::int32_t x = pixel.x(), y = pixel.y();
    // Outside the image (or before any drop) the read fails and the last
    // picked pixel is used again.
    mGdip::ReadPixel(state_.SourceImage, x, y, state_.LastPickedPixel);
    passes::Channel a, r, g, b;
    passes::SplitArgb(state_.LastPickedPixel, a, r, g, b);

    if (state_.PickReplacementFromImage) {
        state_.TargetAlpha = a;
        state_.ReplacementColor = {r, g, b};
        state_.PickReplacementFromImage = false;
        ShowReplacementColor(passes::MakeOleColor(r, g, b));
        const passes::Channel values[4] = {a, r, g, b};
        for (std::size_t i = 0; i < 4; ++i) TxtCol[i]->setText(QString::number(values[i]));
        return;
    }
    state_.KeyColor = {a, r, g, b};
    state_.TargetAlpha = a;
    ShowKeyColor(r, g, b, QStringLiteral("A%1 R%2 G%3 B%4").arg(a).arg(r).arg(g).arg(b));
    TxtCol[0]->setText(QString::number(a));
}

void Form1::CmdPickClick()
{
    const std::optional<QColor> chosen = options_.chooseColor(dialogColor_);
    if (!chosen) return; // cancelled: nothing changes
    dialogColor_ = *chosen;
    const passes::OleColor c = passes::MakeOleColor(chosen->red(), chosen->green(), chosen->blue());
    passes::Channel r, g, b;
    passes::SplitOleColor(c, r, g, b);
    TxtCol[1]->setText(QString::number(r));
    TxtCol[2]->setText(QString::number(g));
    TxtCol[3]->setText(QString::number(b));
    ShowReplacementColor(c);
    state_.ReplacementColor = {r, g, b};
}

void Form1::ShowKeyColor(passes::Channel r, passes::Channel g, passes::Channel b, const QString& caption)
{
    QPalette palette = LBCol->palette();
    palette.setColor(QPalette::Window, QColor(r, g, b));
    // The caption stays readable on light and dark colors alike.
    palette.setColor(QPalette::WindowText, BlackTextReadsBetterOn(r, g, b) ? Qt::black : Qt::white);
    LBCol->setPalette(palette);
    LBCol->setText(caption);
}

void Form1::ShowReplacementColor(passes::OleColor color)
{
    passes::Channel r, g, b;
    passes::SplitOleColor(color, r, g, b);
    QPalette palette = LbChange->palette();
    palette.setColor(QPalette::Window, QColor(r, g, b));
    LbChange->setPalette(palette);
}

} // namespace app
