#pragma once
// What a pick shows of the key color.

#include "passes/pass_parameters.h"

#include <QString>

namespace app {

// "A255 R12 G34 B56": the channels in decimal, without leading zeros.
inline QString KeyColorCaption(const passes::ArgbChannels& key)
{
    return QStringLiteral("A%1 R%2 G%3 B%4").arg(key.A).arg(key.R).arg(key.G).arg(key.B);
}

} // namespace app
