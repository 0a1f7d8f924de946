#pragma once
// Everything the window's rules and the command loop share, in one record
// owned by the window's model.

#include "imaging/mgdip.h"
#include "passes/pass_command.h"

#include <QPoint>
#include <QString>

#include <cstdint>

namespace app {

struct RgbChannels {
    passes::Channel R = 0, G = 0, B = 0;
    friend bool operator==(const RgbChannels&, const RgbChannels&) = default;
};

struct AppState {
    std::int16_t PendingCommand = passes::kNoCommand; // posted by the three processing buttons
    bool ExitRequested = false; // set when the window closes
    bool PickReplacementFromImage = false; // the next click on Pic1 picks the replacement

    mGdip::Surface SourceSurface; // over Pic1
    mGdip::Surface ResultSurface; // over Pic2
    mGdip::Image SourceImage; // the dropped file, decoded
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    QString SourceFileName; // last path component of the dropped file
    // The bitmap the last pass painted. It is also the surface the pass paints
    // on: with direct pixel writes there is no separate drawing object, nor a
    // brush per pixel.
    mGdip::Surface WorkBitmap;
    // The source file name the last pass started with: its result is saved
    // under that name (and drawn at its own size) whatever is dropped later.
    QString ResultFileName;
    // Whether Pic2 shows WorkBitmap: a completed pass drew it there.
    bool ResultDrawn = false;
    // The image pixel both pictures show at their top-left corner: the view
    // is panned over images larger than the boxes. Every new image starts at
    // (0, 0).
    QPoint ViewOffset;

    passes::ArgbChannels KeyColor;
    std::int32_t Tolerance = passes::kTolerance.initial;
    std::int32_t TargetAlpha = 255;
    RgbChannels ReplacementColor;
    passes::Argb LastPickedPixel = 0; // kept between clicks: a failed read leaves it

    // What makes re-entry during a pass safe.
    bool PassRunning = false; // handlers now run inside one of a pass's yields
    bool SaveRequested = false; // a save clicked during a pass, done after it
    // A decode or an encode runs on another thread: the window paints, user
    // input waits, and the images stay in use until it ends.
    bool WorkingOffThread = false;
};

} // namespace app
