#pragma once
// Qt's own texts (the buttons of message boxes, the color dialog, the menus
// of text fields) in Simplified Chinese, like the window's.

#include <QTranslator>

#include <memory>

namespace app {

// Installs Qt's Simplified Chinese translations for as long as the result
// lives; null when they are not installed on this machine (Qt's English
// texts stay then).
std::unique_ptr<QTranslator> InstallChineseTranslations();

} // namespace app
