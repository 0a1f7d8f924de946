#pragma once
// The window's model: the application state and the rules of the window
// (fields, picking, drop, panning, saving, the command loop that runs the passes),
// with no widget. The window lays out the controls, forwards their events to
// these operations and shows what the model tells its view.

#include "app_state.h"
#include "model_view.h"
#include "panning.h"

#include <QObject>
#include <QPointF>
#include <QStringList>

#include <array>
#include <chrono>
#include <functional>
#include <vector>

namespace app {

struct ModelOptions {
    // The folder that holds SAVE; the program's own folder when empty.
    QString programFolder;
    // How long a pass computes before it lets the window handle its events.
    std::chrono::nanoseconds yieldSlice = std::chrono::milliseconds(5);
    // Runs at every yield of a pass, before the events are handled.
    std::function<void()> onPassYield;
    // Runs on the worker thread before each decode or encode done off the
    // window's thread.
    std::function<void()> onWorkOffThread;
};

class WindowModel {
public:
    WindowModel(ModelView& view, ModelOptions options);
    ~WindowModel();
    WindowModel(const WindowModel&) = delete;
    WindowModel& operator=(const WindowModel&) = delete;

    const AppState& state() const { return state_; }

    // ---- start-up, the command loop, closing (command_loop.cpp) ----------
    // Starts the imaging services (the program ends when they cannot start),
    // binds the two picture surfaces and sets the defaults.
    void Start(mGdip::Surface source, mGdip::Surface result, passes::OleColor resultBackColor);
    // Runs the posted commands until Close; then releases the images.
    void CommandLoop();
    // What a processing button does: the loop runs the command on its next turn.
    void PostCommand(std::int16_t command);
    // The window closes: the loop ends, the images are released as soon as
    // nothing uses them.
    void Close();

    // ---- tolerance and color fields (fields.cpp) -------------------------
    void ToleranceSlid(std::int32_t value);
    void ToleranceTyped(const QString& text);
    // The four color fields' texts: target alpha, red, green, blue.
    void ColorFieldsTyped(const std::array<QString, 4>& texts);

    // ---- picking (picking.cpp) -------------------------------------------
    // A click on the source picture, in pixels of its inner area.
    void PickAt(QPointF position);
    // The next click picks the replacement color instead of the key.
    void PickReplacementNext();
    // The color chosen in the color dialog becomes the replacement color.
    void ReplacementChosen(RgbChannels color);

    // ---- drop (drop.cpp) -------------------------------------------------
    // Files dropped on the source picture, in drop order; the first is loaded.
    void Drop(const QStringList& paths);

    // ---- panning (panning.cpp) -------------------------------------------
    // Both pictures show the image from the same offset (ViewOffset), which
    // stays within the image and goes back to the corner for a new image.
    // Moves the view by `delta` pixels of the image.
    void PanBy(QPoint delta);
    // The wheel over either picture: how far it turned (eighths of a degree),
    // or how far a touchpad scrolled (pixels, when it says).
    void PanByWheel(QPoint angleDelta, QPoint pixelDelta, Qt::KeyboardModifiers modifiers);
    // A key pressed in a focused picture: the arrows move the view by
    // kPanKeyStep pixels, Home goes back to the corner. False for other keys.
    bool PanByKey(int key, Qt::KeyboardModifiers modifiers);

    // ---- saving (saving.cpp) ---------------------------------------------
    void Save();

private:
    // command_loop.cpp
    void RunPendingCommand();
    bool YieldDuringPass();
    void ReleaseImaging();
    // panning.cpp: each picture drawn from the offset.
    void DrawSource();
    void DrawResult();
    // saving.cpp
    void SaveResult();
    // work_off_thread.cpp: decoding and encoding off the window's thread,
    // while it keeps painting; handlers that cannot wait in the window
    // system's queue meanwhile wait here (Defer) and run after the handler
    // that started the work.
    void WorkOffThread(const std::function<void()>& work);
    void Defer(std::function<void()> handler);

    ModelView& view_;
    ModelOptions options_;
    AppState state_;
    passes::OleColor resultBackColor_ = 0;
    WheelPixels wheelPixels_;
    std::vector<std::function<void()>> deferred_;
    QObject deferredContext_; // where deferred handlers are posted
};

} // namespace app
