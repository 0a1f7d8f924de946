#pragma once
// The main window: its controls at their fixed places. It forwards the
// controls' events to the window's model (window_model.h), which holds the
// state and the rules, and shows what the model tells it.

#include "digit_field.h"
#include "horizontal_scroll_bar.h"
#include "picture_box.h"
#include "window_model.h"
#include "wrapping_button.h"

#include <QColor>
#include <QLabel>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

namespace app {

// The model's options, and how the window talks to the user.
struct Form1Options : ModelOptions {
    // Shows the color dialog starting at `current`; nothing when cancelled.
    std::function<std::optional<QColor>(const QColor& current)> chooseColor;
    // Tells the user about a failure (a message box).
    std::function<void(const QString& text)> showMessage;
    // Tells the user the program cannot start (a critical message box).
    std::function<void(const QString& title, const QString& text)> showStartupFailure;
};

class Form1 : public QWidget, private ModelView {
public:
    explicit Form1(Form1Options options = {});
    ~Form1() override;

    // Starts the imaging services, binds the picture boxes, sets the
    // defaults, shows the window and runs the command loop until the window
    // closes. Returns the exit code.
    int Load();

    const AppState& state() const { return model_.state(); }

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
    // form1_layout.cpp
    void BuildControls();
    // handlers.cpp: each control's events, forwarded to the model.
    void ConnectHandlers();
    void CmdPickClick();
    // form1_view.cpp: the model's state shown in the controls.
    void ShowSource() override;
    void ShowResult() override;
    void ShowTolerance(std::int32_t tolerance) override;
    void ShowKeyColor(const passes::ArgbChannels& key) override;
    void ShowReplacementColor(std::int32_t targetAlpha, const RgbChannels& color) override;
    void ShowMessage(const QString& text) override;
    void ShowStartupFailure(const QString& title, const QString& text) override;
    void ShowBusy(bool busy) override;

    Form1Options options_;
    WindowModel model_;
    QColor dialogColor_ = Qt::black; // the color dialog's current color
    // Set while the controls show the model's state: the change events that
    // showing raises are the model's own, not the user's.
    bool showingState_ = false;
};

} // namespace app
