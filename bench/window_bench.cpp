// From a click on a processing button to the result drawn in Pic2, on a
// 24-megapixel image, against the bare pass kernel on the same image; the
// longest time the window goes without handling its events during a pass;
// and how long a drop and a save take and freeze the window, for a logo, a
// noisy photograph (8 and 16 bits per channel) and a JPEG. A save is set
// against encoding the same pixels alone, as the batch tool does. Then, on
// the photograph: how long a wheel notch takes to repaint both pictures
// panned, against repainting them alone; and the longest gap between
// repaints of a picture that is redrawn all the time, during a save and
// during as long a wait without one. Under xvfb-run the repaints go through
// a real X server.
#include "app/form1.h"
#include "app/tools/simulated_input.h"
#include "fixtures/bench_images.h"
#include "imaging/mgdip.h"
#include "imaging/png/png_writer.h"
#include "passes/pass_command.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool Write(const QImage& image, const QString& path, const char* format, int quality = -1)
{
    QImageWriter writer(path, format);
    if (quality >= 0) writer.setQuality(quality);
    return writer.write(image);
}

// The longest time the window's thread goes without handling an event while
// something runs: a fast timer's beats, as a painting window would see them.
class Heartbeat {
public:
    Heartbeat()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Beat(); });
        timer_.start();
    }
    void Start()
    {
        longest_ = 0;
        last_ = Clock::now();
    }
    double Stop()
    {
        Beat();
        return longest_;
    }

private:
    void Beat()
    {
        const auto now = Clock::now();
        longest_ = std::max(longest_, Ms(now - last_));
        last_ = now;
    }
    QTimer timer_;
    Clock::time_point last_ = Clock::now();
    double longest_ = 0;
};

// The longest time between two repaints of a widget that asks for one every
// 2 ms, as a user watching the window would see it.
class PaintGaps : public QObject {
public:
    explicit PaintGaps(QWidget* widget) : widget_(widget)
    {
        widget->installEventFilter(this);
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { widget_->update(); });
    }
    void Start()
    {
        longest_ = 0;
        last_ = started_ = Clock::now();
        timer_.start();
    }
    // The longest gap, and when it began after Start.
    std::pair<double, double> Stop()
    {
        timer_.stop();
        Paint();
        return {longest_, longestAt_};
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && timer_.isActive()) Paint();
        return false;
    }

private:
    void Paint()
    {
        const auto now = Clock::now();
        if (Ms(now - last_) > longest_) {
            longest_ = Ms(now - last_);
            longestAt_ = Ms(last_ - started_);
        }
        last_ = now;
    }
    QWidget* widget_;
    QTimer timer_;
    Clock::time_point started_, last_;
    double longest_ = 0, longestAt_ = 0;
};

// Lets the window's thread wait, handling its events, without spinning.
void Wait(double ms)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Timed {
    std::vector<double> total, frozen;
};

class CountingSink final : public imaging::ByteSink {
public:
    bool write(const unsigned char*, std::size_t) override { return true; }
    int error() const noexcept override { return 0; }
};

// Encoding alone, as the batch tool's save spends it on the same pixels.
double EncodeMs(const mGdip::Image& image)
{
    CountingSink sink;
    const auto start = Clock::now();
    imaging::png::EncodePng(image.qimage(), sink);
    return Ms(Clock::now() - start);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    constexpr int kWidth = 6000, kHeight = 4000, kRuns = 7;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("picture.png"));
    mGdip::StartImaging(false, false, {}, 0, {});
    const QImage picture = fixtures::LogoOnWhite(kWidth, kHeight);
    mGdip::SaveImageAsPng(mGdip::Image(picture), path);

    // The bare kernel, into memory allocated and touched beforehand.
    const mGdip::Image source(picture);
    std::vector<std::uint32_t> target(static_cast<std::size_t>(kWidth) * kHeight, 1);
    const passes::ArgbChannels key{255, 250, 250, 250};
    const std::int32_t tolerance = 30;
    std::vector<double> kernel[4];
    for (int command = 1; command <= 3; ++command)
        for (int run = 0; run < kRuns; ++run) {
            const auto start = Clock::now();
            const passes::PixelView work{target.data(), kWidth, kWidth, kHeight};
            passes::RunPassCommand(
                command, {source.pixels(), work, {}}, kWidth, kHeight, key, tolerance, {255, 0, 0, 0});
            kernel[command].push_back(Ms(Clock::now() - start));
        }

    std::vector<double> click[4];
    double firstClick = 0, longestGap = 0;
    Clock::time_point clicked, lastYield;
    // Drops and saves: what the user drops, and the result saved after a pass.
    struct Sample {
        const char* name;
        QString path;
        Timed drop, save;
        std::vector<double> encode;
    };
    std::vector<Sample> samples;
    {
        const QImage photo = fixtures::NoisyPhoto(kWidth, kHeight);
        samples.push_back({"PNG logo", path, {}, {}, {}});
        const QString photoPath = folder.filePath(QStringLiteral("photo.png"));
        mGdip::SaveImageAsPng(mGdip::Image(photo), photoPath);
        samples.push_back({"PNG photo", photoPath, {}, {}, {}});
        const QString deepPath = folder.filePath(QStringLiteral("photo16.png"));
        if (Write(photo.convertToFormat(QImage::Format_RGBA64), deepPath, "png"))
            samples.push_back({"PNG photo, 16-bit", deepPath, {}, {}, {}});
        const QString jpegPath = folder.filePath(QStringLiteral("photo.jpg"));
        if (Write(photo.convertToFormat(QImage::Format_RGB32), jpegPath, "jpeg", 90))
            samples.push_back({"JPEG photo", jpegPath, {}, {}, {}});
    }
    QDir(folder.path()).mkdir(QStringLiteral("SAVE"));
    constexpr int kFileRuns = 5;

    app::Form1Options options;
    options.programFolder = folder.path();
    options.showMessage = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    bool measuringPasses = true;
    options.onPassYield = [&] {
        if (!measuringPasses) return;
        const auto now = Clock::now();
        longestGap = std::max(longestGap, Ms(now - lastYield));
        lastYield = now;
    };
    app::Form1 form(options);
    std::vector<std::function<void()>> steps;
    // The window's first paint (fonts, glyphs) happens in the first turns of
    // the loop; the drop comes once that is over.
    const auto opened = Clock::now();
    steps.push_back([&] {
        while (Clock::now() - opened < std::chrono::milliseconds(500)) QCoreApplication::processEvents();
    });
    steps.push_back([&] {
        app::tools::DragAndDropFiles(form.Pic1, {path});
        app::tools::ReleaseMouseOn(form.Pic1, QPointF(0, 0));
    });
    for (int command = 1; command <= 3; ++command)
        for (int run = 0; run < kRuns; ++run) {
            steps.push_back([&, command] {
                clicked = lastYield = Clock::now();
                (command == 1 ? form.CMDTransP : command == 2 ? form.CMDARec : form.CMDChange)->click();
            });
            steps.push_back([&, command] {
                const double ms = Ms(Clock::now() - clicked);
                if (click[1].empty() && firstClick == 0)
                    firstClick = ms;
                else
                    click[command].push_back(ms);
            });
        }
    Heartbeat heartbeat;
    Clock::time_point began;
    for (Sample& sample : samples)
        for (int run = 0; run < kFileRuns; ++run) {
            steps.push_back([&] {
                measuringPasses = false;
                heartbeat.Start();
                began = Clock::now();
                app::tools::DragAndDropFiles(form.Pic1, {sample.path});
                sample.drop.total.push_back(Ms(Clock::now() - began));
                sample.drop.frozen.push_back(heartbeat.Stop());
                app::tools::ReleaseMouseOn(form.Pic1, QPointF(0, 0));
                form.CMDTransP->click();
            });
            steps.push_back([&] {
                heartbeat.Start();
                began = Clock::now();
                form.CMDSAVE->click();
                sample.save.total.push_back(Ms(Clock::now() - began));
                sample.save.frozen.push_back(heartbeat.Stop());
                sample.encode.push_back(EncodeMs(form.state().WorkBitmap.snapshot()));
            });
        }

    // Panning the photograph and its result, a wheel notch at a time: down,
    // right, up, left, each far enough to move all the way.
    constexpr int kNotches = 30;
    std::vector<double> pan, repaintOnly;
    int panned = 0;
    steps.push_back([&] {
        app::tools::DragAndDropFiles(form.Pic1, {samples[1].path});
        app::tools::ReleaseMouseOn(form.Pic1, QPointF(0, 0));
        form.CMDTransP->click();
    });
    steps.push_back([&] {
        const QPoint moves[] = {{0, -120}, {-120, 0}, {0, 120}, {120, 0}};
        for (const QPoint angle : moves)
            for (int notch = 0; notch < kNotches; ++notch) {
                const QPoint before = form.state().ViewOffset;
                app::PictureBox* box = notch % 2 ? form.Pic1 : form.Pic2;
                QWheelEvent wheel(QPointF(100, 100), box->mapToGlobal(QPointF(100, 100)), QPoint(), angle, Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
                auto start = Clock::now();
                QApplication::sendEvent(box, &wheel);
                form.Pic1->repaint();
                form.Pic2->repaint();
                pan.push_back(Ms(Clock::now() - start));
                panned += form.state().ViewOffset != before;
                start = Clock::now();
                form.Pic1->repaint();
                form.Pic2->repaint();
                repaintOnly.push_back(Ms(Clock::now() - start));
            }
    });

    // Saving the photograph's result, with the window repainting all the
    // time; then waiting as long without a save.
    constexpr int kSaveRuns = 10;
    PaintGaps gaps(form.Pic2);
    std::vector<double> saveGap, saveGapAt, idleGap, saveMs;
    for (int run = 0; run < kSaveRuns; ++run) {
        steps.push_back([&] {
            gaps.Start();
            const auto start = Clock::now();
            form.CMDSAVE->click();
            saveMs.push_back(Ms(Clock::now() - start));
            Wait(100); // and just after it
            const auto [longest, at] = gaps.Stop();
            saveGap.push_back(longest);
            saveGapAt.push_back(at);
        });
        steps.push_back([&] {
            gaps.Start();
            Wait(saveMs.back() + 100);
            idleGap.push_back(gaps.Stop().first);
        });
    }

    std::size_t next = 0;
    QTimer driver;
    // Not 0: a timer that fires on every turn would spin while work runs off
    // the window's thread and take a core from it.
    driver.setTimerType(Qt::PreciseTimer);
    driver.setInterval(1);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (form.state().PendingCommand != 0 || form.state().PassRunning || form.state().WorkingOffThread) return;
        if (next < steps.size())
            steps[next++]();
        else
            form.close();
    });
    driver.start();
    form.Load();

    std::printf("24-megapixel image, median of %d runs (first click after the drop: %.1f ms)\n", kRuns, firstClick);
    const char* const names[4] = {"", "simple removal", "alpha-restoring removal", "color replacement"};
    for (int command = 1; command <= 3; ++command)
        std::printf("%-24s click to result %7.1f ms   bare kernel %7.1f ms   ratio %.2f\n", names[command],
            Median(click[command]), Median(kernel[command]), Median(click[command]) / Median(kernel[command]));
    std::printf("longest time without handling events during a pass: %.1f ms\n", longestGap);
    std::printf("\n6000 x 4000, median of %d runs: time and longest freeze of the window\n", kFileRuns);
    for (const Sample& sample : samples)
        std::printf("%-18s drop %7.1f ms, frozen %7.1f ms   save %7.1f ms, frozen %7.1f ms   encode alone %7.1f ms"
                    "  save/encode %.2f (goal <= 1.2)\n",
            sample.name, Median(sample.drop.total), Median(sample.drop.frozen), Median(sample.save.total),
            Median(sample.save.frozen), Median(sample.encode), Median(sample.save.total) / Median(sample.encode));
    std::printf(
        "\npanning the photograph, %d wheel notches (%d moved the view): repaint of both pictures median %.2f ms, "
        "longest %.2f ms (goal < 16); repainting them alone median %.2f ms, longest %.2f ms\n",
        4 * kNotches, panned, Median(pan), *std::max_element(pan.begin(), pan.end()), Median(repaintOnly),
        *std::max_element(repaintOnly.begin(), repaintOnly.end()));
    std::printf("saving the photograph's result, %d runs (save median %.1f ms): longest gap between repaints median "
                "%.1f ms, worst %.1f ms (goal < 50); waiting as long without a save: median %.1f ms, worst %.1f ms\n",
        kSaveRuns, Median(saveMs), Median(saveGap), *std::max_element(saveGap.begin(), saveGap.end()), Median(idleGap),
        *std::max_element(idleGap.begin(), idleGap.end()));
    std::printf("  each save's longest gap (ms) and when it began after the click (ms):");
    for (int run = 0; run < kSaveRuns; ++run) std::printf(" %.1f@%.0f", saveGap[run], saveGapAt[run]);
    std::printf("\n");
    return 0;
}
