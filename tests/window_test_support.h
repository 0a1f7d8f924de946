#pragma once
// Driving the window in tests: its command loop runs for real while a script
// of steps runs inside it, one step whenever no pass is running or pending.

#include "app/form1.h"

#include <QImage>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <vector>

namespace window_testing {

using Step = std::function<void()>;

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
QString WritePng(const QTemporaryDir& folder, const QString& name, const QImage& image);

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
