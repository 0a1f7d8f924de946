#pragma once
// The main window: its controls at their fixed places, the application state,
// the handlers and the command loop that runs the passes.

#include "app_state.h"
#include "digit_field.h"
#include "horizontal_scroll_bar.h"
#include "picture_box.h"
#include "wrapping_button.h"

#include <QColor>
#include <QLabel>
#include <QWidget>

#include <array>
#include <chrono>
#include <functional>
#include <vector>
#include <optional>

namespace app {

struct Form1Options {
    // Shows the color dialog starting at `current`; nothing when cancelled.
    std::function<std::optional<QColor>(const QColor& current)> chooseColor;
    // Tells the user about a failure (a message box).
    std::function<void(const QString& text)> showMessage;
    // Tells the user the program cannot start (a critical message box).
    std::function<void(const QString& title, const QString& text)> showStartupFailure;
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

class Form1 : public QWidget {
public:
    explicit Form1(Form1Options options = {});
    ~Form1() override;

    // Starts the imaging services, binds the picture boxes, sets the
    // defaults, shows the window and runs the command loop until the window
    // closes. Returns the exit code.
    int Load();

    const AppState& state() const { return state_; }

    // The controls, by their names.
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    std::array<QLabel*, 4> Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    PictureBox* Pic1;
    PictureBox* Pic2;
    QLabel* LBCol;
    QLabel* LbChange;
    DigitField* TxtCF;
    std::array<DigitField*, 4> TxtCol;
    HorizontalScrollBar* HScroll1;
    WrappingButton* CmdPickP;
    WrappingButton* CmdPick;
    WrappingButton* CMDSAVE;
    WrappingButton* CMDTransP;
    WrappingButton* CMDARec;
    WrappingButton* CMDChange;
    // The group frames, drawn on the window beneath the controls.
    static const QRect Shape1;
    static const QRect Shape2;

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void BuildControls();
    void ConnectHandlers();

    // Command loop and lifecycle.
    void CommandLoop();
    void RunPendingCommand();
    bool YieldDuringPass();
    void ReleaseImaging();
    // Decoding and encoding, with the busy cursor, off the window's thread;
    // handlers that cannot wait in the window system's queue meanwhile wait
    // here (Defer) and run after the handler that started the work.
    void WorkOffThread(const std::function<void()>& work);
    void Defer(std::function<void()> handler);

    // Drop and picking.
    void Pic1FilesDropped(const QStringList& files);
    void Pic1MouseUp(QPointF position);
    void CmdPickClick();

    // Tolerance and color fields.
    void HScroll1Change();
    void TxtCFChange();
    void TxtColChange();
    void ShowKeyColor(passes::Channel r, passes::Channel g, passes::Channel b, const QString& caption);
    void ShowReplacementColor(passes::OleColor color);

    // Saving.
    void CmdSaveClick();
    void SaveResult();

    Form1Options options_;
    AppState state_;
    QColor dialogColor_ = Qt::black; // the color dialog's current color
    std::vector<std::function<void()>> deferred_;
};

} // namespace app
