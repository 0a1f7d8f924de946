// JPEG decoding with libjpeg-turbo. libjpeg reports errors by longjmp, so the
// functions that call setjmp keep only trivially destructible locals.
#include "jpeg_reader.h"

#include "exif_orientation.h"

#include "imaging/common/limits.h"

#include <QIODevice>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace imaging::jpeg {
namespace {

// ---- errors and warnings ------------------------------------------------------

struct ErrorManager {
    jpeg_error_mgr pub{};
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool damaged = false; // a warning that means missing or corrupt data
    int benignWarnings = 0;
    int endOfFileWarnings = 0;
};

// Warnings about the form of the file, not its pixels.
bool IsBenignWarning(int code)
{
    return code == JWRN_EXTRANEOUS_DATA || code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR || code == JWRN_BOGUS_ICC
        || code == JWRN_NOT_SEQUENTIAL;
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

void Silent(j_common_ptr) { }

// ---- input ----------------------------------------------------------------------

struct Source {
    jpeg_source_mgr pub{}; // empty: the first read fills it
    QIODevice* in = nullptr;
    bool endedEarly = false;
    JOCTET buffer[64 * 1024];
};

constexpr JOCTET kFakeEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) { }

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

void TermSource(j_decompress_ptr) { }

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
    default: ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
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
    d->orientation = 1;
    for (jpeg_saved_marker_ptr marker = d->cinfo.marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 1)
            if (const int orientation = ExifOrientationOf(marker->data, marker->data_length)) {
                d->orientation = orientation;
                break;
            }
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

} // namespace

// ---- the reader ------------------------------------------------------------------------

struct JpegReader::State {
    QIODevice& in;
    const Rows rows;
    Decoder decoder;
    enum class Step { New, Rows, Done, Failed } step = Step::New;

    State(QIODevice& device, Rows wanted) : in(device), rows(wanted) { }
};

JpegReader::JpegReader(QIODevice& in, Rows rows) : state_(std::make_unique<State>(in, rows)) { }

JpegReader::~JpegReader() = default;

Failure JpegReader::open()
{
    State& s = *state_;
    if (s.step == State::Step::Failed) return refused_;
    if (s.step != State::Step::New) return Refuse(Declined(QStringLiteral("opened twice")));
    Decoder* d = &s.decoder;
    if (Failure failure = Open(d, s.in)) return Refuse(std::move(failure));
    // A turned or mirrored image is upright only once it is whole.
    if (s.rows == Rows::Upright && d->orientation != 1) return Refuse(Declined(QStringLiteral("turned or mirrored")));
    if (Failure failure = Start(d)) return Refuse(std::move(failure));
    if (Failure failure = StartRows(d)) return Refuse(std::move(failure));
    s.step = State::Step::Rows;
    return {};
}

std::int32_t JpegReader::width() const { return static_cast<std::int32_t>(state_->decoder.cinfo.output_width); }

std::int32_t JpegReader::height() const { return static_cast<std::int32_t>(state_->decoder.cinfo.output_height); }

int JpegReader::orientation() const { return state_->decoder.orientation; }

int JpegReader::benignWarnings() const { return state_->decoder.errors.benignWarnings; }

Failure JpegReader::readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows)
{
    State& s = *state_;
    if (s.step == State::Step::Failed) return refused_;
    const jpeg_decompress_struct& cinfo = s.decoder.cinfo;
    if (s.step != State::Step::Rows || rows < 0 || wordsPerLine < cinfo.output_width
        || static_cast<JDIMENSION>(rows) > cinfo.output_height - cinfo.output_scanline)
        return Refuse(Declined(QStringLiteral("rows outside the image")));
    if (!ReadRows(&s.decoder, out, wordsPerLine, static_cast<JDIMENSION>(rows))) return Refuse(Why(s.decoder));
    return {};
}

Failure JpegReader::finish()
{
    State& s = *state_;
    if (s.step == State::Step::Failed) return refused_;
    if (s.step != State::Step::Rows || s.decoder.cinfo.output_scanline != s.decoder.cinfo.output_height)
        return Refuse(Declined(QStringLiteral("finished before the last row")));
    if (!FinishDecompress(&s.decoder)) return Refuse(Why(s.decoder));
    s.step = State::Step::Done;
    return {};
}

Failure JpegReader::Refuse(Failure failure)
{
    refused_ = std::move(failure);
    state_->step = State::Step::Failed;
    return refused_;
}

// ---- the whole image -------------------------------------------------------------------

DecodedImage DecodeJpeg(QIODevice& in)
{
    JpegReader reader(in, JpegReader::Rows::AsStored);
    DecodedImage result = ReadWholeImage(reader);
    if (result.failure) return result;
    result.image = Oriented(std::move(result.image), reader.orientation());
    if (result.image.isNull()) result.failure = MakeFailure(FailureKind::OutOfMemory);
    return result;
}

} // namespace imaging::jpeg
