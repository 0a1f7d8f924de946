#include "window_test_support.h"

#include "app/tools/simulated_input.h"
#include "imaging/mgdip.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace window_testing {

int RunSteps(const app::AppState& state, const std::function<int()>& loop, const std::function<void()>& close,
    std::vector<Step> steps)
{
    std::size_t next = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // Timers also fire inside a pass's yields and during work off the
        // window's thread; steps wait for them to end.
        if (state.PassRunning || state.WorkingOffThread || state.PendingCommand != 0 || state.ExitRequested) return;
        if (next < steps.size()) {
            steps[next++]();
        } else {
            timer.stop();
            close();
        }
    });
    timer.start();
    return loop();
}

int RunWindow(app::Form1& form, std::vector<Step> steps)
{
    return RunSteps(
        form.state(), [&] { return form.Load(); }, [&] { form.close(); }, std::move(steps));
}

app::Form1Options TestOptions(Recorded& recorded, const QString& programFolder)
{
    app::Form1Options options;
    options.chooseColor = [&recorded](const QColor& current) -> std::optional<QColor> {
        recorded.dialogStarts << current.name();
        if (recorded.colors.empty()) ADD_FAILURE() << "the color dialog opened unexpectedly";
        if (recorded.colors.empty()) return std::nullopt;
        const std::optional<QColor> answer = recorded.colors.front();
        recorded.colors.erase(recorded.colors.begin());
        return answer;
    };
    options.showMessage = [&recorded](const QString& text) { recorded.messages << text; };
    options.programFolder = programFolder;
    return options;
}

QString WritePng(const QString& folder, const QString& name, const QImage& image)
{
    const QString path = folder + QLatin1Char('/') + name;
    EXPECT_TRUE(
        mGdip::Succeeded(mGdip::SaveImageAsPng(mGdip::Image(image.convertToFormat(QImage::Format_ARGB32)), path)));
    return path;
}

QImage Flat(int width, int height, QRgb color)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

QImage Gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x % 256, y % 256, x / 256 * 16 + y / 256));
    return image;
}

mGdip::LoadedImage LoadSaved(const QString& path)
{
    mGdip::StartImaging(false, false, {}, 0, {});
    return mGdip::LoadImageFile(path);
}

void DropFiles(QWidget* target, const QStringList& files) { app::tools::DragAndDropFiles(target, files); }

bool DropFilesAccepted(QWidget* target, const QStringList& files)
{
    return app::tools::DragAndDropFiles(target, files);
}

void ReleaseMouseAt(app::PictureBox* box, QPointF position, Qt::MouseButton button)
{
    app::tools::ReleaseMouseOn(box, position, button);
}

QRgb Shown(const app::PictureBox* box, int x, int y) { return box->surface().target()->pixel(x, y); }

std::uint32_t WorkPixel(const app::Form1& form, int x, int y)
{
    const mGdip::Image result = form.state().WorkBitmap.snapshot();
    if (x < 0 || y < 0 || x >= result.width() || y >= result.height()) {
        ADD_FAILURE() << "no result pixel at " << x << "," << y;
        return 0xDEADBEEFu;
    }
    return result.pixels().row(y)[x];
}

} // namespace window_testing
