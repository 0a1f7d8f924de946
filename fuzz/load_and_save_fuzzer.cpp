// libFuzzer target: any bytes as an image file. Loading must either refuse
// with a consistent failure or give an image within the limits; a loaded
// image must save, and reload to exactly the same pixels. The PNG writer is
// also driven with settings taken from the input (backend, filter, bands of
// a few rows on two threads), and Qt's reader must give the same pixels.
#include "imaging/mgdip.h"
#include "imaging/png/png_writer.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

QString g_input, g_output;

[[noreturn]] void Fault(const char* what)
{
    std::fprintf(stderr, "load_and_save_fuzzer: %s\n", what);
    std::abort();
}

bool WriteInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray path = g_input.toLocal8Bit();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = ::write(fd, data + done, size - done);
        if (wrote <= 0) break;
        done += static_cast<std::size_t>(wrote);
    }
    return ::close(fd) == 0 && done == size;
}

void CheckConsistent(const mGdip::LoadedImage& loaded)
{
    if (loaded.status != mGdip::StatusOf(loaded.failure.kind)) Fault("status and failure kind disagree");
    if (loaded.image.isNull() != static_cast<bool>(loaded.failure)) Fault("image and failure disagree");
    if (loaded.failure && loaded.reason.isEmpty()) Fault("a failure without a reason");
    if (!loaded.image.isNull()) {
        if (loaded.image.qimage().format() != QImage::Format_ARGB32) Fault("not ARGB32");
        if (std::int64_t{loaded.image.width()} * loaded.image.height() > mGdip::PixelLimit())
            Fault("beyond the pixel limit");
    }
}

class MemorySink final : public imaging::ByteSink {
public:
    bool write(const unsigned char* data, std::size_t size) override
    {
        bytes.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        return true;
    }
    int error() const noexcept override { return 0; }
    QByteArray bytes;
};

void CheckWriterSettings(const QImage& image, std::uint8_t choice)
{
    using namespace imaging::png;
    using imaging::deflate::DeflateBackend;
    PngWriterSettings settings;
    // Bits 0 and 3: each backend, or the choice per band.
    const std::optional<DeflateBackend> backends[] = {
        DeflateBackend::Fast, DeflateBackend::Thorough, DeflateBackend::Runs, std::nullopt};
    settings.backend = backends[(choice & 1) | (choice >> 2 & 2)];
    settings.filter = static_cast<FilterChoice>((choice >> 1) % 4);
    settings.threads = 2;
    // Bands of one to four rows, but no more than a few thousand of them:
    // the joints are all met, and a tall image stays quick.
    const std::size_t rowBytes = FilteredRowBytes(static_cast<std::size_t>(image.width()));
    settings.bandBytes =
        std::max(rowBytes * (1 + (choice >> 4) % 4), rowBytes * static_cast<std::size_t>(image.height() / 4096));
    MemorySink sink;
    if (const imaging::Failure failure = WritePng(image, sink, settings)) Fault(qPrintable(failure.detail));
    const QImage again = QImage::fromData(sink.bytes, "PNG").convertToFormat(QImage::Format_ARGB32);
    if (again != image) Fault("the writer's PNG reads back with other pixels");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    char folder[] = "/dev/shm/chromobrisk-fuzz-XXXXXX";
    if (!::mkdtemp(folder)) Fault("no temporary folder");
    g_input = QString::fromLocal8Bit(folder) + QStringLiteral("/input");
    g_output = QString::fromLocal8Bit(folder) + QStringLiteral("/result.png");
    if (!mGdip::Succeeded(mGdip::StartImaging(false, false, {}, 0, {}))) Fault("imaging did not start");
    // libFuzzer times units with SIGALRM and takes it only where no handler
    // is; the one that removes temporaries would end the run at the first alarm.
    std::signal(SIGALRM, SIG_DFL);
    // Small images keep every run fast; the limit's logic is the same.
    mGdip::SetPixelLimitForTesting(std::int64_t{1} << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!WriteInput(data, size)) Fault("cannot write the input file");
    const mGdip::LoadedImage loaded = mGdip::LoadImageFile(g_input);
    CheckConsistent(loaded);
    if (loaded.image.isNull()) return 0;

    QString reason;
    if (!mGdip::Succeeded(mGdip::SaveImageAsPng(loaded.image, g_output, &reason))) Fault(qPrintable(reason));
    const mGdip::LoadedImage again = mGdip::LoadImageFile(g_output);
    CheckConsistent(again);
    if (again.image.isNull()) Fault(qPrintable(again.reason));
    if (again.image.qimage() != loaded.image.qimage()) Fault("the saved image reloads with other pixels");
    CheckWriterSettings(loaded.image.qimage(), size ? data[size - 1] : 0);
    return 0;
}
