// JPEG through libjpeg-turbo directly must give what Qt's own JPEG reader
// gives for good files, pixel for pixel, orientation included.
#include "imaging_test_support.h"

#include "fixtures/sample_files.h"
#include "imaging/jpeg/jpeg_reader.h"
#include "imaging/mgdip.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

QImage DecodeWithQtReader(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

class JpegDecode : public testsupport::TempFolderTest {
protected:
    QImage LoadOk(const QByteArray& bytes) const
    {
        const QString file = path(QStringLiteral("picture.jpg"));
        EXPECT_TRUE(testsupport::WriteBytes(file, bytes));
        const mGdip::LoadedImage loaded = mGdip::LoadImageFile(file);
        EXPECT_EQ(loaded.failure.kind, mGdip::FailureKind::None) << qPrintable(loaded.reason);
        return loaded.image.qimage();
    }
};

TEST_F(JpegDecode, SamePixelsAsQtsReaderForEveryForm)
{
    const QImage photo = testsupport::RandomArgb(97, 61, 12);
    QImage smooth(130, 70, QImage::Format_ARGB32);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 130; ++x) smooth.setPixel(x, y, qRgb(x * 2, y * 3, (x * y) & 0xFF));
    const std::pair<const char*, QByteArray> files[] = {
        {"Qt 4:2:0", fixtures::EncodeWithQt(smooth, "jpeg", 75)},
        {"Qt grey", fixtures::EncodeWithQt(smooth.convertToFormat(QImage::Format_Grayscale8), "jpeg", 90)},
        {"baseline", fixtures::MakeJpeg(photo, {})},
        {"progressive", fixtures::MakeJpeg(smooth, {.progressive = true})},
        {"grey progressive", fixtures::MakeJpeg(photo, {.progressive = true, .grey = true})},
        {"restart markers", fixtures::MakeJpeg(smooth, {.restartRows = 2})},
        {"CMYK, Adobe's inverted form", fixtures::MakeJpeg(smooth, {.cmyk = true})},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(bytes.isEmpty());
        const QImage ours = LoadOk(bytes), theirs = DecodeWithQtReader(bytes);
        ASSERT_EQ(ours.size(), theirs.size());
        EXPECT_EQ(testsupport::FirstDifference(ours, theirs), -1);
    }
}

TEST_F(JpegDecode, PlainCmykWithoutAdobesMarkerIsNotInverted)
{
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(qRgb(255, 0, 0));
    for (const bool adobe : {true, false}) {
        SCOPED_TRACE(adobe ? "Adobe" : "plain");
        const QImage loaded = LoadOk(fixtures::MakeJpeg(red, {.cmyk = true, .adobeMarker = adobe, .quality = 100}));
        ASSERT_EQ(loaded.size(), red.size());
        const QRgb p = loaded.pixel(8, 8);
        EXPECT_GE(qRed(p), 250);
        EXPECT_LE(qGreen(p), 5);
        EXPECT_LE(qBlue(p), 5);
        EXPECT_EQ(qAlpha(p), 255);
    }
}

// A JPEG with an EXIF orientation tag (APP1 right after SOI).
QByteArray WithOrientation(QByteArray jpeg, int orientation, bool bigEndian)
{
    QByteArray tiff = bigEndian ? QByteArray("MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19)
                                : QByteArray("II\x2A\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18);
    if (bigEndian) {
        tiff.append(static_cast<char>(orientation));
        tiff.append(QByteArray(6, '\0'));
    } else {
        tiff.append(static_cast<char>(orientation));
        tiff.append(QByteArray(7, '\0'));
    }
    QByteArray app1("\xFF\xE1", 2);
    const int length = 2 + 6 + static_cast<int>(tiff.size());
    app1.append(static_cast<char>(length >> 8));
    app1.append(static_cast<char>(length & 0xFF));
    app1.append("Exif\0\0", 6);
    app1 += tiff;
    jpeg.insert(2, app1);
    return jpeg;
}

TEST_F(JpegDecode, EveryExifOrientationMatchesQtsReader)
{
    const QByteArray jpeg = fixtures::MakeJpeg(testsupport::RandomArgb(24, 10, 2), {.quality = 95});
    for (const bool bigEndian : {true, false}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(testing::Message() << "orientation " << orientation << (bigEndian ? " MM" : " II"));
            const QByteArray oriented = WithOrientation(jpeg, orientation, bigEndian);
            const QImage ours = LoadOk(oriented), theirs = DecodeWithQtReader(oriented);
            EXPECT_EQ(ours.size(), orientation >= 5 ? QSize(10, 24) : QSize(24, 10));
            ASSERT_EQ(ours.size(), theirs.size());
            EXPECT_EQ(testsupport::FirstDifference(ours, theirs), -1);
        }
    }
}

TEST_F(JpegDecode, HarmlessQuirksAreCountedAndAccepted)
{
    // Padding between two markers: libjpeg warns, the pixels are whole.
    const QByteArray clean = fixtures::MakeJpeg(testsupport::RandomArgb(16, 16, 1), {});
    QByteArray padded = clean;
    const qsizetype sos = padded.indexOf("\xFF\xDA");
    padded.insert(sos, QByteArray("\x00\x00\x00", 3));
    for (const auto& [bytes, warnings] : {std::pair{clean, 0}, std::pair{padded, 1}}) {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        imaging::jpeg::JpegReader reader(buffer, imaging::jpeg::JpegReader::Rows::AsStored);
        const imaging::DecodedImage result = imaging::ReadWholeImage(reader);
        EXPECT_EQ(result.failure.kind, mGdip::FailureKind::None) << qPrintable(mGdip::Describe(result.failure));
        EXPECT_EQ(reader.benignWarnings(), warnings);
    }
    EXPECT_EQ(testsupport::FirstDifference(LoadOk(padded), LoadOk(clean)), -1);
}

} // namespace
