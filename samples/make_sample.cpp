// Draws the bundled sample: a logo-like picture on a flat background with
// anti-aliased edges. make_sample OUT.png [WIDTH HEIGHT]
#include "imaging/mgdip.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>

namespace {

QImage DrawLogo(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(250, 250, 250)); // the flat background the passes remove
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(width / 320.0, height / 240.0);
    painter.setPen(Qt::NoPen);

    painter.setBrush(QColor(214, 48, 49));
    painter.drawEllipse(QPointF(110, 120), 70, 70);
    painter.setBrush(QColor(9, 132, 227));
    painter.drawRoundedRect(QRectF(150, 60, 120, 120), 22, 22);

    QPainterPath leaf; // a curved shape to give every edge angle
    leaf.moveTo(60, 200);
    leaf.cubicTo(120, 150, 220, 250, 290, 190);
    leaf.cubicTo(230, 230, 130, 175, 60, 200);
    painter.setBrush(QColor(0, 184, 148));
    painter.drawPath(leaf);

    painter.setPen(QPen(QColor(45, 52, 54), 6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(40, 40), QPointF(280, 30));
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: make_sample OUT.png [WIDTH HEIGHT]\n");
        return 2;
    }
    const int width = argc == 4 ? std::atoi(argv[2]) : 320;
    const int height = argc == 4 ? std::atoi(argv[3]) : 240;
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "make_sample: the size must be positive\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    mGdip::StartImaging(true, true, QStringLiteral("images cannot be written"), mGdip::kCriticalMessageStyle,
        QStringLiteral("make_sample"));
    QString why;
    const auto status =
        mGdip::SaveImageAsPng(mGdip::Image(DrawLogo(width, height)), QString::fromLocal8Bit(argv[1]), &why);
    mGdip::ShutdownImaging();
    if (!mGdip::Succeeded(status)) {
        std::fprintf(stderr, "make_sample: %s\n", qPrintable(why));
        return 1;
    }
    return 0;
}
