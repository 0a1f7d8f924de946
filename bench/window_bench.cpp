// From a click on a processing button to the result drawn in Pic2, on a
// 24-megapixel image, against the bare pass kernel on the same image; and the
// longest time the window goes without handling its events during a pass.
#include "app/form1.h"
#include "app/tools/simulated_input.h"
#include "imaging/mgdip.h"
#include "passes/pass_command.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QImage Picture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(214, 48, 49));
    painter.drawEllipse(QPointF(width * 0.35, height * 0.5), width * 0.25, height * 0.3);
    painter.setBrush(QColor(9, 132, 227));
    painter.drawRoundedRect(QRectF(width * 0.5, height * 0.25, width * 0.35, height * 0.5), 60, 60);
    return image;
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
    const QImage picture = Picture(kWidth, kHeight);
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
            passes::RunPassCommand(command, {source.pixels(), work, {}}, kWidth, kHeight, key, tolerance,
                                   {255, 0, 0, 0});
            kernel[command].push_back(Ms(Clock::now() - start));
        }

    std::vector<double> click[4];
    double firstClick = 0, longestGap = 0;
    Clock::time_point clicked, lastYield;
    app::Form1Options options;
    options.showMessage = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    options.onPassYield = [&] {
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
                if (click[1].empty() && firstClick == 0) firstClick = ms;
                else click[command].push_back(ms);
            });
        }
    std::size_t next = 0;
    QTimer driver;
    driver.setInterval(0);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (form.state().PendingCommand != 0 || form.state().PassRunning) return;
        if (next < steps.size()) steps[next++]();
        else form.close();
    });
    driver.start();
    form.Load();

    std::printf("24-megapixel image, median of %d runs (first click after the drop: %.1f ms)\n", kRuns, firstClick);
    const char* const names[4] = {"", "simple removal", "alpha-restoring removal", "color replacement"};
    for (int command = 1; command <= 3; ++command)
        std::printf("%-24s click to result %7.1f ms   bare kernel %7.1f ms   ratio %.2f\n", names[command],
                    Median(click[command]), Median(kernel[command]), Median(click[command]) / Median(kernel[command]));
    std::printf("longest time without handling events during a pass: %.1f ms\n", longestGap);
    return 0;
}
