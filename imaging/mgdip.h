#pragma once
// The one place that talks to the imaging library (Qt's QtGui): start-up and
// shutdown, decoding, the work bitmap, pixel reads and paints, drawing and PNG
// encoding. Every other part of the program goes through these operations.
//
// Operations return an ImagingStatus and leave their outputs untouched when
// they fail.

#include "bitmap_for_pass.h"
#include "encoder_clsid.h"
#include "failure.h"
#include "image.h"
#include "limits.h"
#include "status.h"

#include "passes/color_model.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace mGdip {

// ---- start-up and shutdown ------------------------------------------------

// Non-zero while the imaging services are started.
std::uint32_t ImagingToken() noexcept;

// Starts the imaging services once; a second call while started returns Ok
// and does nothing. Start-up succeeds only when images can be decoded and PNG
// encoded. On failure: shows `message` (with `style` and `title`) through the
// message presenter when `showMessage` is set, then ends the program when
// `exitOnFailure` is set.
ImagingStatus StartImaging(bool showMessage, bool exitOnFailure, const QString& message,
                           std::int32_t style, const QString& title);
void ShutdownImaging() noexcept;

// How the start-up failure message reaches the user: the window shows a
// message box, the batch tool prints to stderr (the default).
using MessagePresenter =
    std::function<void(const QString& message, std::int32_t style, const QString& title)>;
void SetMessagePresenter(MessagePresenter presenter);

// Message style of a critical error with an OK button.
inline constexpr std::int32_t kCriticalMessageStyle = 16;

// ---- decoding -------------------------------------------------------------

struct LoadedImage {
    Image image;          // null when decoding failed
    ImagingStatus status = ImagingStatus::GenericError;
    Failure failure;      // what went wrong; kind None on success
    QString reason;       // Describe(failure): English words for it; empty on success
};

// Decodes any format the platform reads into non-premultiplied ARGB32,
// honouring the orientation stored in the file. `path` is a QString from
// PathFromBytes (file_path.h), so any byte string names a file; only regular
// files are read. A file beyond the size limits (limits.h) is refused from
// its header, and a damaged or short one is refused, never half decoded.
LoadedImage LoadImageFile(const QString& path);

// 0 for a null image.
std::int32_t ImageWidthOf(const Image& image) noexcept;
std::int32_t ImageHeightOf(const Image& image) noexcept;

// ---- bitmaps, surfaces, pixels --------------------------------------------

// The work bitmap's pixel format: 32 bits per pixel, non-premultiplied ARGB.
inline constexpr std::int32_t kPixelFormat32bppARGB = 2498570; // 0x26200A

// A zero-filled (fully transparent black) bitmap to draw on. Fails with
// InvalidParameter for a non-positive size or another pixel format, and with
// OutOfMemory when the pixels cannot be allocated; `bitmap` is then unchanged.
ImagingStatus CreateWorkBitmap(std::int32_t width, std::int32_t height, std::int32_t pixelFormat,
                               Surface& bitmap);

// As CreateWorkBitmap, for a pass to paint: memory of a released bitmap of
// the same size is reused without clearing (see BitmapForPass).
ImagingStatus CreateWorkBitmapForPass(std::int32_t width, std::int32_t height, std::int32_t pixelFormat,
                                      BitmapForPass& bitmap);

// Touches the memory of a coming work bitmap now (when an image is loaded),
// so the first pass does not pay for fresh memory.
void PrepareWorkBitmap(std::int32_t width, std::int32_t height);

// A surface over a picture box's backing image.
Surface BindSurface(QImage backing);

// Fails (output untouched) outside the image or for a null image.
ImagingStatus ReadPixel(const Image& image, std::int32_t x, std::int32_t y, passes::Argb& out);

// Paints one pixel with source-over compositing: alpha 0 changes nothing, a
// pixel that was fully transparent takes `color` exactly.
ImagingStatus PaintPixel(const Surface& surface, std::int32_t x, std::int32_t y, passes::Argb color);

// Draws image's (0, 0, width, height) at the surface's top-left, unscaled,
// source-over, clipped to both.
ImagingStatus DrawImageOneToOne(const Surface& surface, const Image& image, std::int32_t width,
                                std::int32_t height);

// Draws image's (left, top, width, height) at the surface's top-left, as
// DrawImageOneToOne; fails for a negative left or top.
ImagingStatus DrawImagePartOneToOne(const Surface& surface, const Image& image, std::int32_t left, std::int32_t top,
                                    std::int32_t width, std::int32_t height);

// Fills the whole surface with `color` (replacing, not blending).
ImagingStatus ClearSurface(const Surface& surface, passes::Argb color);

// ---- encoding ---------------------------------------------------------------

// Writes a 32-bit RGBA PNG that keeps every ARGB value. The file appears only
// after a complete encode: the bytes go to a temporary file in the same
// folder (its name starts with a dot; it is removed on failure and when the
// process is ended by SIGINT, SIGTERM or SIGHUP), renamed over the target
// once complete. A failure never leaves a partial file or damages an existing
// one; a symbolic link or other non-regular file at the target is refused and
// left as it is. `path` is a QString from PathFromBytes, as for loading.
// `reason` (optional) receives Describe(failure), `failure` (optional) the
// failure itself.
ImagingStatus SaveImageAsPng(const Image& image, const QString& path, QString* reason = nullptr,
                             Failure* failure = nullptr);

} // namespace mGdip
