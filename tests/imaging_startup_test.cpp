#include "imaging_test_support.h"

#include "imaging/mgdip.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using mGdip::ImagingStatus;

// Every test here may stop the services or replace the probe and presenter;
// the next test must find them started, with the real probe.
class ImagingStartup : public testsupport::TempFolderTest {
protected:
    void TearDown() override
    {
        mGdip::SetPlatformProbeForTesting({});
        mGdip::SetMessagePresenter({});
        mGdip::StartImaging(false, false, {}, 0, {});
        ASSERT_NE(mGdip::ImagingToken(), 0u);
    }

    static ImagingStatus Start() { return mGdip::StartImaging(false, false, {}, 0, {}); }
};

TEST_F(ImagingStartup, SecondStartKeepsTheToken)
{
    ASSERT_EQ(Start(), ImagingStatus::Ok);
    const std::uint32_t token = mGdip::ImagingToken();
    ASSERT_NE(token, 0u);
    // A probe that fails proves the second start does not check again.
    mGdip::SetPlatformProbeForTesting([] { return false; });
    EXPECT_EQ(Start(), ImagingStatus::Ok);
    EXPECT_EQ(mGdip::ImagingToken(), token);
}

TEST_F(ImagingStartup, ShutdownTwiceIsSafeAndAllowsARestart)
{
    mGdip::ShutdownImaging();
    EXPECT_EQ(mGdip::ImagingToken(), 0u);
    mGdip::ShutdownImaging();
    EXPECT_EQ(mGdip::ImagingToken(), 0u);
    EXPECT_EQ(Start(), ImagingStatus::Ok);
    EXPECT_NE(mGdip::ImagingToken(), 0u);
}

TEST_F(ImagingStartup, FailureShowsTheMessageThroughThePresenter)
{
    mGdip::ShutdownImaging();
    mGdip::SetPlatformProbeForTesting([] { return false; });
    int calls = 0;
    QString shownMessage, shownTitle;
    std::int32_t shownStyle = -1;
    mGdip::SetMessagePresenter([&](const QString& message, std::int32_t style, const QString& title) {
        ++calls;
        shownMessage = message;
        shownStyle = style;
        shownTitle = title;
    });

    const ImagingStatus status = mGdip::StartImaging(true, false, QStringLiteral("cannot start imaging"),
        mGdip::kCriticalMessageStyle, QStringLiteral("Chromobrisk"));
    EXPECT_NE(status, ImagingStatus::Ok);
    EXPECT_EQ(mGdip::ImagingToken(), 0u);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(shownMessage, QStringLiteral("cannot start imaging"));
    EXPECT_EQ(shownStyle, mGdip::kCriticalMessageStyle);
    EXPECT_EQ(shownTitle, QStringLiteral("Chromobrisk"));
}

TEST_F(ImagingStartup, FailureWithoutShowMessageStaysSilent)
{
    mGdip::ShutdownImaging();
    mGdip::SetPlatformProbeForTesting([] { return false; });
    int calls = 0;
    mGdip::SetMessagePresenter([&](const QString&, std::int32_t, const QString&) { ++calls; });
    EXPECT_NE(Start(), ImagingStatus::Ok);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(mGdip::ImagingToken(), 0u);
}

TEST_F(ImagingStartup, RealProbeSucceedsAfterAForcedFailure)
{
    mGdip::ShutdownImaging();
    mGdip::SetPlatformProbeForTesting([] { return false; });
    ASSERT_NE(Start(), ImagingStatus::Ok);
    mGdip::SetPlatformProbeForTesting({});
    EXPECT_EQ(Start(), ImagingStatus::Ok);
    EXPECT_NE(mGdip::ImagingToken(), 0u);
}

// No temporary folder: the child process that dies would leave its folder behind.
class ImagingStartupDeathTest : public ::testing::Test {
protected:
    void TearDown() override { mGdip::SetPlatformProbeForTesting({}); }
};

TEST_F(ImagingStartupDeathTest, ExitOnFailureEndsTheProcessWithAFailureCode)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            mGdip::ShutdownImaging();
            mGdip::SetPlatformProbeForTesting([] { return false; });
            mGdip::StartImaging(true, true, QStringLiteral("imaging is unavailable"), mGdip::kCriticalMessageStyle,
                QStringLiteral("Chromobrisk"));
            std::_Exit(0); // reached only when the failure did not end the process
        },
        [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; }, "imaging is unavailable");
}

TEST_F(ImagingStartup, LoadAndSaveRefuseWhileShutDown)
{
    const QString existing = path(QStringLiteral("pixel.png"));
    QImage one(1, 1, QImage::Format_ARGB32);
    one.fill(0xFF102030);
    ASSERT_EQ(mGdip::SaveImageAsPng(mGdip::Image(one), existing), ImagingStatus::Ok);

    mGdip::ShutdownImaging();
    const mGdip::LoadedImage loaded = mGdip::LoadImageFile(existing);
    EXPECT_EQ(loaded.status, ImagingStatus::NotInitialized);
    EXPECT_TRUE(loaded.image.isNull());
    EXPECT_FALSE(loaded.reason.isEmpty());

    QString reason;
    const QString target = path(QStringLiteral("out.png"));
    EXPECT_EQ(mGdip::SaveImageAsPng(mGdip::Image(one), target, &reason), ImagingStatus::NotInitialized);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_FALSE(QFile::exists(target));
}

} // namespace
