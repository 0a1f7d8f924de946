#pragma once
// What the window's model shows through: the window implements it with its
// controls, the model's tests record it. The model calls it after its state
// has changed; the view only shows that state, it never writes it back.

#include "app_state.h"

#include <QString>

#include <cstdint>

namespace app {

class ModelView {
public:
    // The source surface was drawn on (Pic1).
    virtual void ShowSource() = 0;
    // The result surface was drawn on (Pic2).
    virtual void ShowResult() = 0;
    // The tolerance in its slider and its field.
    virtual void ShowTolerance(std::int32_t tolerance) = 0;
    // The key color in its swatch, with its values as the caption.
    virtual void ShowKeyColor(const passes::ArgbChannels& key) = 0;
    // The target alpha and the replacement color in the four color fields,
    // and the replacement color in its swatch.
    virtual void ShowReplacementColor(std::int32_t targetAlpha, const RgbChannels& color) = 0;
    // A failure the user must hear about.
    virtual void ShowMessage(const QString& text) = 0;
    // The imaging services cannot start; the program ends after this.
    virtual void ShowStartupFailure(const QString& title, const QString& text) = 0;
    // Long work starts (true) or ends (false); calls nest.
    virtual void ShowBusy(bool busy) = 0;

protected:
    ~ModelView() = default;
};

} // namespace app
