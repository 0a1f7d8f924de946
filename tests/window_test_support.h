#pragma once
// Driving the window in tests: its command loop runs for real while a script
// of steps runs inside it, one step whenever no pass is running or pending.

#include "app/form1.h"
#include "imaging/mgdip.h"
#include "scratch_folder.h"

#include <QDir>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

namespace window_testing {

// A folder for the pictures a test drops, and the program's folder, which
// holds SAVE (not made unless asked for).
class PicturesAndProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pictures.isValid());
        ASSERT_TRUE(program.isValid());
    }
    bool MakeSaveFolder() const { return QDir(program.path()).mkdir(QStringLiteral("SAVE")); }
    QString SaveFolder() const { return program.filePath(QStringLiteral("SAVE")); }
    QString SavedPath(const QString& name) const { return SaveFolder() + QLatin1Char('/') + name; }

    testsupport::ScratchFolder pictures, program;
};

using Step = std::function<void()>;

// Runs `loop` (a command loop, which returns once `close` has been called)
// and the steps inside it, then calls `close`. Returns the loop's result.
int RunSteps(const app::AppState& state, const std::function<int()>& loop, const std::function<void()>& close,
    std::vector<Step> steps);

// Runs `form.Load()` (start-up and the command loop) and the steps inside it,
// then closes the window. Returns Load's result.
int RunWindow(app::Form1& form, std::vector<Step> steps);

// Options for a test window: a color dialog that answers from `colors`
// (nothing = cancelled), messages collected into `messages`.
struct Recorded {
    std::vector<std::optional<QColor>> colors;
    QStringList messages;
    QStringList dialogStarts; // the color each dialog opened with
};
app::Form1Options TestOptions(Recorded& recorded, const QString& programFolder = {});

// Writes `image` (Format_ARGB32) as a PNG into `folder`; returns its path.
// Names and folders are paths as PathFromBytes gives them, so any bytes work.
QString WritePng(const QString& folder, const QString& name, const QImage& image);
inline QString WritePng(const QTemporaryDir& folder, const QString& name, const QImage& image)
{
    return WritePng(folder.path(), name, image);
}

// A flat Format_ARGB32 image.
QImage Flat(int width, int height, QRgb color);
// An opaque Format_ARGB32 image whose every pixel tells where it is: red and
// green are x and y modulo 256, blue holds x / 256 and y / 256 (up to 4096).
QImage Gradient(int width, int height);

// Starts the imaging services again (closing a window shuts them down) and
// loads a saved result.
mGdip::LoadedImage LoadSaved(const QString& path);

// A real drop event with these local files on the picture box.
void DropFiles(QWidget* target, const QStringList& files);
// The same; whether the box took the drop.
bool DropFilesAccepted(QWidget* target, const QStringList& files);
// A mouse button released at a position in pixels of the box's inner area.
void ReleaseMouseAt(app::PictureBox* box, QPointF position, Qt::MouseButton button = Qt::LeftButton);

// Pixel of a picture box's backing image (what it shows).
QRgb Shown(const app::PictureBox* box, int x, int y);
// Pixel of the last result.
std::uint32_t WorkPixel(const app::Form1& form, int x, int y);

} // namespace window_testing
