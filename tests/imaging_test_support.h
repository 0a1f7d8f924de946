#pragma once
// Shared helpers for the imaging and batch-tool tests: a temporary folder per
// test and fixture images generated at run time.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "fixtures/sample_files.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace testsupport {

// Gives each test its own empty folder, removed afterwards.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()) << qPrintable(dir_.errorString()); }

    QString folder() const { return dir_.path(); }
    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    testsupport::ScratchFolder dir_;
};

// ---- files ------------------------------------------------------------------

bool WriteBytes(const QString& path, const QByteArray& bytes);
// Writes to a path given by its bytes (QFile would re-encode a name that is not UTF-8).
bool WriteBytesAt(const QByteArray& bytesOfPath, const QByteArray& bytes);
QByteArray ReadBytes(const QString& path);
// Names of the entries of a folder (files and folders, no "." or ".."), sorted.
QStringList EntriesOf(const QString& folder);

// Saves with Qt's writer for `format` ("png", "jpeg", "bmp", "tiff", "webp").
// `quality` -1 keeps the writer's default.
bool SaveWithQt(const QImage& image, const QString& path, const char* format, int quality = -1);

// ---- pixels -------------------------------------------------------------------

// Format_ARGB32 with every channel random (alpha 0..255 included, and colour
// kept under alpha 0), reproducible from `seed`.
QImage RandomArgb(int width, int height, std::uint32_t seed);
// Opaque Format_ARGB32 with distinct pixels, so a flip or rotation shows.
QImage OpaquePattern(int width, int height);

// The pixels of a Format_ARGB32 image row by row, as 0xAARRGGBB.
std::vector<std::uint32_t> PixelsOf(const QImage& argb32);

// Index of the first differing pixel of two same-sized ARGB32 images, or -1.
long long FirstDifference(const QImage& a, const QImage& b);

// ---- hand-made files -------------------------------------------------------

// The file builders the fuzzer's seeds and the benchmarks use too.
using fixtures::Crc32;
using fixtures::EncodeWithQt;
using fixtures::kPngSignature;
using fixtures::MakeGif;
using fixtures::PngChunk;
// Offset of the first chunk of `type` in a PNG file (its length field), or -1.
qsizetype FindPngChunk(const QByteArray& png, const char type[4]);
// The IHDR of a PNG file: colour type, bit depth and interlace method.
struct PngHeader {
    int width = 0, height = 0, bitDepth = 0, colorType = -1, interlace = -1;
};
PngHeader ReadPngHeader(const QByteArray& png);

// A 16 × 16 JPEG of OpaquePattern with `bytes` over the four bytes that
// follow the first byte inside its first segment `marker` (0xC0, the frame
// header: height and width; 0xC4, a Huffman table: its first code counts).
// Empty when Qt's writer made no such segment.
QByteArray PatternJpegPatched(unsigned char marker, const QByteArray& bytes);

} // namespace testsupport
