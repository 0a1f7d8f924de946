// Entry point for the window tests: a widget application on the offscreen
// platform unless another one is asked for.
#include "imaging/mgdip.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {

// Closing a window shuts the imaging services down; every test starts with
// them running, as the program does.
class StartImagingForEachTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { mGdip::StartImaging(false, false, {}, 0, {}); }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::UnitTest::GetInstance()->listeners().Append(new StartImagingForEachTest);
    return RUN_ALL_TESTS();
}
