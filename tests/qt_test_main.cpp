// Entry point for tests that need Qt's GUI classes and the imaging services.
#include "imaging/mgdip.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    mGdip::StartImaging(false, false, {}, 0, {});
    const int result = RUN_ALL_TESTS();
    mGdip::ShutdownImaging();
    return result;
}
