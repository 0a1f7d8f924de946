// JPEG decoding with libjpeg-turbo. libjpeg reports errors by longjmp, so the
// functions that call setjmp keep only trivially destructible locals.
#include "bitmap_memory.h"
#include "jpeg_codec.h"
#include "limits.h"

#include <QIODevice>

#include <cstdio> // jpeglib.h needs FILE
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace mGdip::detail {
namespace {

// ---- errors and warnings ------------------------------------------------------

struct ErrorManager {
    jpeg_error_mgr pub{};
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool damaged = false;    // a warning that means missing or corrupt data
    int benignWarnings = 0;
    int endOfFileWarnings = 0;
};

// Warnings about the form of the file, not its pixels.
bool IsBenignWarning(int code)
{
    return code == JWRN_EXTRANEOUS_DATA || code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR
        || code == JWRN_BOGUS_ICC || code == JWRN_NOT_SEQUENTIAL;
}

[[noreturn]] void OnError(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

// A damaging warning ends the decode then and there: the rest of the image
// would be made up, and making it up costs as much as decoding it.
void OnMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0) return; // trace messages
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF) {
        // The end marker is missing; whether pixel data is missing too is
        // decided from what was decoded.
        ++errors->endOfFileWarnings;
        return;
    }
    if (IsBenignWarning(code)) {
        ++errors->benignWarnings;
        return;
    }
    (*cinfo->err->format_message)(cinfo, errors->message);
    errors->damaged = true;
    std::longjmp(errors->jump, 1);
}

void Silent(j_common_ptr) {}

// ---- input ----------------------------------------------------------------------

struct Source {
    jpeg_source_mgr pub{}; // empty: the first read fills it
    QIODevice* in = nullptr;
    bool endedEarly = false;
    JOCTET buffer[64 * 1024];
};

constexpr JOCTET kFakeEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo)
{
    auto* source = reinterpret_cast<Source*>(cinfo->src);
    const qint64 got = source->in->read(reinterpret_cast<char*>(source->buffer), sizeof source->buffer);
    if (got <= 0) {
        // As libjpeg's own sources do: an end marker, so the decoder winds
        // down; the warning and endedEarly let the caller judge the result.
        source->endedEarly = true;
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kFakeEndOfImage;
        source->pub.bytes_in_buffer = sizeof kFakeEndOfImage;
        return TRUE;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = static_cast<std::size_t>(got);
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count)
{
    auto* source = reinterpret_cast<Source*>(cinfo->src);
    while (count > 0) {
        if (source->pub.bytes_in_buffer == 0) FillInput(cinfo);
        const long step = std::min<long>(count, static_cast<long>(source->pub.bytes_in_buffer));
        source->pub.next_input_byte += step;
        source->pub.bytes_in_buffer -= static_cast<std::size_t>(step);
        count -= step;
    }
}

void TermSource(j_decompress_ptr) {}

// ---- which coefficients the scans delivered ------------------------------------

// The approximation each coefficient of each component has reached: kNone
// until a scan carries it, 0 once it is exact.
struct Coverage {
    static constexpr signed char kNone = 127;
    signed char bits[MAX_COMPONENTS][DCTSIZE2];

    Coverage() { std::memset(bits, kNone, sizeof bits); }

    void addScan(const jpeg_decompress_struct& cinfo)
    {
        for (int i = 0; i < cinfo.comps_in_scan; ++i) {
            const int c = cinfo.cur_comp_info[i]->component_index;
            if (c < 0 || c >= MAX_COMPONENTS) continue;
            if (!cinfo.progressive_mode) {
                std::memset(bits[c], 0, sizeof bits[c]);
                continue;
            }
            for (int k = std::max(0, cinfo.Ss); k <= std::min(DCTSIZE2 - 1, cinfo.Se); ++k)
                bits[c][k] = static_cast<signed char>(cinfo.Al);
        }
    }

    bool complete(const jpeg_decompress_struct& cinfo) const
    {
        for (int c = 0; c < cinfo.num_components && c < MAX_COMPONENTS; ++c)
            for (int k = 0; k < DCTSIZE2; ++k)
                if (bits[c][k] != 0) return false;
        return true;
    }
};

// ---- EXIF orientation -------------------------------------------------------------

int ExifOrientation(const jpeg_decompress_struct& cinfo)
{
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || marker->data_length < 14) continue;
        const JOCTET* d = marker->data;
        if (std::memcmp(d, "Exif\0\0", 6) != 0) continue;
        const JOCTET* tiff = d + 6;
        const std::int64_t size = std::int64_t{marker->data_length} - 6;
        const bool big = tiff[0] == 'M' && tiff[1] == 'M';
        if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) continue;
        auto u16 = [&](std::int64_t at) -> std::int64_t {
            if (at < 0 || at + 2 > size) return -1;
            return big ? tiff[at] << 8 | tiff[at + 1] : tiff[at + 1] << 8 | tiff[at];
        };
        auto u32 = [&](std::int64_t at) -> std::int64_t {
            const std::int64_t a = u16(at), b = u16(at + 2);
            if (a < 0 || b < 0) return -1;
            return big ? a << 16 | b : b << 16 | a;
        };
        if (u16(2) != 42) continue;
        const std::int64_t ifd = u32(4);
        const std::int64_t entries = u16(ifd);
        for (std::int64_t i = 0; i < entries; ++i) {
            const std::int64_t entry = ifd + 2 + 12 * i;
            if (u16(entry) == 0x0112 && u16(entry + 2) == 3) {
                const std::int64_t value = u16(entry + 8);
                return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
            }
            if (u16(entry) < 0) break;
        }
    }
    return 1;
}

// The upright image for an EXIF orientation (1 upright, 2..8 the mirrored
// and rotated forms), pixel for pixel; null when memory runs out.
QImage Oriented(QImage stored, int orientation)
{
    if (orientation <= 1 || orientation > 8) return stored;
    const int w = stored.width(), h = stored.height();
    const bool swaps = orientation >= 5;
    QImage upright = AllocateBitmap(swaps ? h : w, swaps ? w : h, Contents::Unspecified);
    if (upright.isNull()) return {};
    const int uw = upright.width(), uh = upright.height();
    const auto* src = reinterpret_cast<const std::uint32_t*>(stored.constBits());
    const std::ptrdiff_t stride = stored.bytesPerLine() / 4;
    for (int y = 0; y < uh; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(upright.scanLine(y));
        for (int x = 0; x < uw; ++x) {
            int sx = x, sy = y;
            switch (orientation) {
            case 2: sx = w - 1 - x; break;
            case 3: sx = w - 1 - x; sy = h - 1 - y; break;
            case 4: sy = h - 1 - y; break;
            case 5: sx = y; sy = x; break;
            case 6: sx = y; sy = h - 1 - x; break;
            case 7: sx = w - 1 - y; sy = h - 1 - x; break;
            case 8: sx = w - 1 - y; sy = x; break;
            }
            row[x] = src[sy * stride + sx];
        }
    }
    return upright;
}

// ---- decoding -------------------------------------------------------------------------

// One decompression, shared by the whole-image decode and the row reader:
// the steps below are taken in order, each giving a failure or nothing.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager errors;
    Source source;
    Coverage coverage;
    bool created = false;
    bool multiScan = false;
    bool cmyk = false;
    bool invertedCmyk = false;
    int orientation = 1;
    std::vector<JOCTET> cmykRow; // one row of CMYK samples, before conversion

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder()
    {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

bool Create(Decoder* d)
{
    if (setjmp(d->errors.jump)) {
        jpeg_destroy_decompress(&d->cinfo);
        return false;
    }
    jpeg_create_decompress(&d->cinfo);
    d->created = true;
    return true;
}

bool ReadHeader(Decoder* d)
{
    if (setjmp(d->errors.jump)) return false;
    jpeg_save_markers(&d->cinfo, JPEG_APP0 + 1, 0xFFFF);
    if (jpeg_read_header(&d->cinfo, TRUE) != JPEG_HEADER_OK) ERREXIT(&d->cinfo, JERR_NO_IMAGE);
    return true;
}

bool StartDecompress(Decoder* d)
{
    if (setjmp(d->errors.jump)) return false;
    jpeg_decompress_struct& cinfo = d->cinfo;
    switch (cinfo.jpeg_color_space) {
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        d->cmyk = true;
        // Adobe's writers store CMYK inverted (0 is full ink) and say so
        // with their marker; that is nearly every CMYK JPEG there is.
        d->invertedCmyk = cinfo.saw_Adobe_marker;
        break;
    case JCS_GRAYSCALE:
    case JCS_RGB:
    case JCS_YCbCr:
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        cinfo.out_color_space = JCS_EXT_BGRA; // the memory order of ARGB32
#else
        cinfo.out_color_space = JCS_EXT_ARGB;
#endif
        break;
    default:
        ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
    }
    d->multiScan = jpeg_has_multiple_scans(&cinfo);
    // Files of several scans are taken in whole before any pixel is made,
    // so what the scans delivered can be checked first.
    cinfo.buffered_image = d->multiScan ? TRUE : FALSE;
    d->coverage.addScan(cinfo);
    jpeg_start_decompress(&cinfo);
    return true;
}

bool ConsumeScans(Decoder* d)
{
    if (setjmp(d->errors.jump)) return false;
    for (int status; (status = jpeg_consume_input(&d->cinfo)) != JPEG_REACHED_EOI;) {
        if (status == JPEG_REACHED_SOS) d->coverage.addScan(d->cinfo);
        if (status == JPEG_SUSPENDED) ERREXIT(&d->cinfo, JERR_INPUT_EMPTY); // our source never suspends
    }
    return true;
}

bool StartOutput(Decoder* d)
{
    if (setjmp(d->errors.jump)) return false;
    if (d->multiScan) jpeg_start_output(&d->cinfo, d->cinfo.input_scan_number);
    return true;
}

void ConvertCmyk(const JOCTET* in, std::uint32_t* out, JDIMENSION width, bool inverted)
{
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        // Each channel is the ink's complement scaled by the black's.
        const unsigned c = inverted ? in[0] : 255u - in[0], m = inverted ? in[1] : 255u - in[1],
                       y = inverted ? in[2] : 255u - in[2], k = inverted ? in[3] : 255u - in[3];
        out[x] = 0xFF000000u | (k * c / 255) << 16 | (k * m / 255) << 8 | (k * y / 255);
    }
}

// The next `rows` rows as ARGB32, `wordsPerLine` words apart; the caller
// keeps them within the image.
bool ReadRows(Decoder* d, std::uint32_t* out, std::size_t wordsPerLine, JDIMENSION rows)
{
    if (setjmp(d->errors.jump)) return false;
    jpeg_decompress_struct& cinfo = d->cinfo;
    for (JDIMENSION i = 0; i < rows; ++i) {
        std::uint32_t* row = out + i * wordsPerLine;
        JSAMPROW target = d->cmyk ? d->cmykRow.data() : reinterpret_cast<JSAMPROW>(row);
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) ERREXIT(&cinfo, JERR_INPUT_EMPTY);
        if (d->cmyk) ConvertCmyk(d->cmykRow.data(), row, cinfo.output_width, d->invertedCmyk);
    }
    return true;
}

bool FinishDecompress(Decoder* d)
{
    if (setjmp(d->errors.jump)) return false;
    if (d->multiScan) jpeg_finish_output(&d->cinfo);
    jpeg_finish_decompress(&d->cinfo);
    return true;
}

Failure Why(const Decoder& d)
{
    const QString words = QStringLiteral("JPEG: %1").arg(QString::fromUtf8(d.errors.message));
    if (d.source.endedEarly) return MakeFailure(FailureKind::Truncated, words);
    return MakeFailure(FailureKind::Damaged, words);
}

// A decompressor reading `in`, its header read and the size within the
// limits; the EXIF orientation found.
Failure Open(Decoder* d, QIODevice& in)
{
    d->cinfo.err = jpeg_std_error(&d->errors.pub);
    d->errors.pub.error_exit = OnError;
    d->errors.pub.emit_message = OnMessage;
    d->errors.pub.output_message = Silent;
    if (!Create(d)) return MakeFailure(FailureKind::OutOfMemory);

    d->source.in = &in;
    d->source.pub.init_source = InitSource;
    d->source.pub.fill_input_buffer = FillInput;
    d->source.pub.skip_input_data = SkipInput;
    d->source.pub.resync_to_restart = jpeg_resync_to_restart;
    d->source.pub.term_source = TermSource;
    d->cinfo.src = &d->source.pub;
    // Whole-image buffers of progressive files are bounded by the pixel
    // limit; nothing else needs more.
    d->cinfo.mem->max_memory_to_use = static_cast<long>(PixelLimit() * 10);

    if (!ReadHeader(d)) return Why(*d);
    if (!FitsLimits(d->cinfo.image_width, d->cinfo.image_height))
        return TooLargeFailure(d->cinfo.image_width, d->cinfo.image_height);
    d->orientation = ExifOrientation(d->cinfo);
    return {};
}

// Decompression started; a file of several scans is read in whole, and
// refused when it ended before its scans delivered every coefficient.
Failure Start(Decoder* d)
{
    if (!StartDecompress(d)) return Why(*d);
    if (d->multiScan) {
        if (!ConsumeScans(d)) return Why(*d);
        if (d->source.endedEarly && !d->coverage.complete(d->cinfo))
            return MakeFailure(FailureKind::Truncated, QStringLiteral("JPEG: scans are missing"));
    }
    return {};
}

// The first row can be read now.
Failure StartRows(Decoder* d)
{
    d->cmykRow.resize(d->cmyk ? static_cast<std::size_t>(d->cinfo.output_width) * 4 : 0);
    if (!StartOutput(d)) return Why(*d);
    return {};
}

JpegDecodeResult Fail(Failure failure)
{
    JpegDecodeResult result;
    result.failure = std::move(failure);
    return result;
}

} // namespace

JpegDecodeResult DecodeJpeg(QIODevice& in)
{
    auto d = std::make_unique<Decoder>();
    if (Failure failure = Open(d.get(), in)) return Fail(std::move(failure));
    if (Failure failure = Start(d.get())) return Fail(std::move(failure));

    QImage stored = AllocateBitmap(static_cast<std::int32_t>(d->cinfo.output_width),
                                   static_cast<std::int32_t>(d->cinfo.output_height), Contents::Unspecified);
    if (stored.isNull()) return Fail(MakeFailure(FailureKind::OutOfMemory));
    if (Failure failure = StartRows(d.get())) return Fail(std::move(failure));
    if (!ReadRows(d.get(), reinterpret_cast<std::uint32_t*>(stored.bits()),
                  static_cast<std::size_t>(stored.bytesPerLine()) / 4, d->cinfo.output_height)
        || !FinishDecompress(d.get()))
        return Fail(Why(*d));

    JpegDecodeResult result;
    result.image = Oriented(std::move(stored), d->orientation);
    if (result.image.isNull()) return Fail(MakeFailure(FailureKind::OutOfMemory));
    result.benignWarnings = d->errors.benignWarnings;
    return result;
}

// ---- row by row ------------------------------------------------------------------------

struct JpegRowReader::State {
    QIODevice& in;
    Decoder decoder;
    enum class Step { New, Rows, Done, Failed } step = Step::New;

    explicit State(QIODevice& device) : in(device) {}
};

JpegRowReader::JpegRowReader(QIODevice& in) : state_(std::make_unique<State>(in)) {}

JpegRowReader::~JpegRowReader() = default;

bool JpegRowReader::open()
{
    State& s = *state_;
    if (s.step != State::Step::New) return Refuse();
    Decoder* d = &s.decoder;
    // A turned or mirrored image is upright only once it is whole.
    if (Open(d, s.in) || d->orientation != 1 || Start(d) || StartRows(d)) return Refuse();
    s.step = State::Step::Rows;
    return true;
}

std::int32_t JpegRowReader::width() const
{
    return static_cast<std::int32_t>(state_->decoder.cinfo.output_width);
}

std::int32_t JpegRowReader::height() const
{
    return static_cast<std::int32_t>(state_->decoder.cinfo.output_height);
}

bool JpegRowReader::readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows)
{
    State& s = *state_;
    const jpeg_decompress_struct& cinfo = s.decoder.cinfo;
    if (s.step != State::Step::Rows || rows < 0 || wordsPerLine < cinfo.output_width
        || static_cast<JDIMENSION>(rows) > cinfo.output_height - cinfo.output_scanline)
        return Refuse();
    if (!ReadRows(&s.decoder, out, wordsPerLine, static_cast<JDIMENSION>(rows))) return Refuse();
    return true;
}

bool JpegRowReader::finish()
{
    State& s = *state_;
    if (s.step != State::Step::Rows || s.decoder.cinfo.output_scanline != s.decoder.cinfo.output_height
        || !FinishDecompress(&s.decoder))
        return Refuse();
    s.step = State::Step::Done;
    return true;
}

bool JpegRowReader::Refuse()
{
    state_->step = State::Step::Failed;
    return false;
}

} // namespace mGdip::detail
