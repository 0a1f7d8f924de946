// The window's model without a window: its state and rules driven through
// its own command loop, with a view that records what it is told to show.
#include "window_test_support.h"

#include "app/failure_reasons.h"
#include "app/fields.h"
#include "app/window_model.h"
#include "imaging/mgdip.h"
#include "reference_passes.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

using app::RgbChannels;
using app::WindowModel;
using namespace window_testing;

class RecordingView : public app::ModelView {
public:
    void ShowSource() override { ++sourceShown; }
    void ShowResult() override { ++resultShown; }
    void ShowTolerance(std::int32_t tolerance) override { tolerances.push_back(tolerance); }
    void ShowKeyColor(const passes::ArgbChannels& shown) override { key = shown; }
    void ShowReplacementColor(std::int32_t alpha, const RgbChannels& color) override
    {
        targetAlpha = alpha;
        replacement = color;
    }
    void ShowMessage(const QString& text) override { messages << text; }
    void ShowStartupFailure(const QString&, const QString& text) override { messages << text; }
    void ShowBusy(bool busy) override { busyDepth += busy ? 1 : -1; }

    int sourceShown = 0, resultShown = 0, busyDepth = 0;
    std::vector<std::int32_t> tolerances;
    passes::ArgbChannels key;
    std::int32_t targetAlpha = -1;
    RgbChannels replacement{-1, -1, -1};
    QStringList messages;
};

class WindowModelTest : public PicturesAndProgram {
protected:
    void SetUp() override
    {
        PicturesAndProgram::SetUp();
        options.programFolder = program.path();
    }
    // Starts the model over two picture surfaces and runs its loop with the steps.
    void Run(std::vector<Step> steps)
    {
        model = std::make_unique<WindowModel>(view, options);
        model->Start(mGdip::BindSurface(QImage(349, 349, QImage::Format_RGB32)),
            mGdip::BindSurface(QImage(349, 349, QImage::Format_RGB32)), passes::MakeOleColor(128, 128, 255));
        RunSteps(
            model->state(),
            [&] {
                model->CommandLoop();
                return 0;
            },
            [&] { model->Close(); }, std::move(steps));
        EXPECT_EQ(view.busyDepth, 0);
    }
    std::uint32_t ResultPixel(int x, int y) const { return model->state().WorkBitmap.snapshot().pixels().row(y)[x]; }

    RecordingView view;
    app::ModelOptions options;
    std::unique_ptr<WindowModel> model;
};

TEST_F(WindowModelTest, SettingsChangedDuringAPassReachTheUnvisitedRowsAndTheReplacementIsFixedAtTheStart)
{
    // Columns 0 and 1 the first key, column 2 the second.
    QImage image = Flat(3, 6, qRgb(16, 32, 48));
    for (int y = 0; y < 6; ++y) image.setPixel(2, y, qRgb(90, 90, 90));
    const QString path = window_testing::WritePng(pictures, QStringLiteral("two.png"), image);
    options.yieldSlice = std::chrono::nanoseconds(0); // a yield after every row
    int yields = 0;
    options.onPassYield = [&] {
        ++yields;
        EXPECT_EQ(view.busyDepth, 1);
        if (yields == 2) { // rows 0 and 1 are done
            model->ToleranceTyped(QStringLiteral("0"));
            model->ReplacementChosen({0, 200, 0});
            model->ColorFieldsTyped(
                {QStringLiteral("10"), QStringLiteral("0"), QStringLiteral("200"), QStringLiteral("0")});
        }
        if (yields == 4) {
            model->PickAt(QPointF(2, 0));
            model->ToleranceSlid(30);
        }
    };
    Run({[&] { model->Drop({path}); },
        [&] {
            model->PickAt(QPointF(0, 0));
            model->ReplacementChosen({100, 0, 0});
            model->PostCommand(passes::kColorReplacement);
        },
        [&] {
            EXPECT_EQ(yields, 6);
            EXPECT_EQ(view.tolerances, (std::vector<std::int32_t>{0, 30}));
            EXPECT_EQ(view.key, (passes::ArgbChannels{255, 90, 90, 90}));
            EXPECT_EQ(view.targetAlpha, 255) << "the key pick sets the target alpha";
            // Deltas from the replacement and key at the start: 100-16, 0-32, 0-48.
            for (int y = 0; y < 6; ++y) {
                const bool second = y >= 4;
                const std::int32_t tolerance = y < 2 ? 30 : y < 4 ? 0 : 30;
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(ResultPixel(x, y),
                        reference::ColorReplacement(image.pixel(x, y), 255, second ? 90 : 16, second ? 90 : 32,
                            second ? 90 : 48, 0, 84, -32, -48, tolerance))
                        << x << "," << y;
            }
            EXPECT_EQ(ResultPixel(0, 0), 0xFF640000u);
            EXPECT_EQ(ResultPixel(2, 5), 0xFFAE3A2Au);
            EXPECT_EQ(view.resultShown, 1);
        }});
}

TEST_F(WindowModelTest, DropDuringAPassThenSaveKeepTheResultWithItsOwnImage)
{
    ASSERT_TRUE(MakeSaveFolder());
    const QString a = window_testing::WritePng(pictures, QStringLiteral("A.png"), Flat(7, 8, qRgb(16, 32, 48)));
    const QString b = window_testing::WritePng(pictures, QStringLiteral("B.png"), Flat(3, 2, qRgb(1, 2, 3)));
    options.yieldSlice = std::chrono::nanoseconds(0);
    int yields = 0;
    options.onPassYield = [&] {
        if (++yields == 2) model->Drop({b});
        if (yields == 3) model->Save(); // waits for the end of the pass
        EXPECT_FALSE(QFileInfo::exists(SavedPath(QStringLiteral("A.png.png"))));
    };
    Run({[&] { model->Drop({a}); },
        [&] {
            model->ToleranceSlid(0); // nothing matches: every pixel stays
            model->PostCommand(passes::kSimpleRemoval);
        },
        [&] {
            EXPECT_EQ(yields, 8) << "the pass ran over A's rows";
            EXPECT_EQ(model->state().SourceFileName, QStringLiteral("B.png"));
            EXPECT_EQ(model->state().ImageWidth, 3);
            EXPECT_EQ(model->state().ResultFileName, QStringLiteral("A.png"));
            EXPECT_EQ(view.sourceShown, 2);
            EXPECT_EQ(view.resultShown, 1);
            EXPECT_TRUE(view.messages.isEmpty()) << view.messages.join('\n').toStdString();
        }});
    const mGdip::LoadedImage saved = LoadSaved(SavedPath(QStringLiteral("A.png.png")));
    ASSERT_TRUE(mGdip::Succeeded(saved.status));
    EXPECT_EQ(saved.image.width(), 7);
    EXPECT_EQ(saved.image.height(), 8);
    EXPECT_EQ(saved.image.pixels().row(7)[6], 0xFF102030u);
    EXPECT_FALSE(QFileInfo::exists(SavedPath(QStringLiteral("B.png.png"))));
}

TEST_F(WindowModelTest, NamesThatAreNotUtf8AreLoadedSavedAndShownByteForByte)
{
    // The program's folder and the pictures both have names that are not UTF-8.
    const QByteArray programBytes = QFile::encodeName(program.path()) + "/prog\xff";
    ASSERT_EQ(::mkdir(programBytes.constData(), 0777), 0);
    ASSERT_EQ(::mkdir((programBytes + "/SAVE").constData(), 0777), 0);
    options.programFolder = mGdip::PathFromBytes(programBytes);
    const QString folder = mGdip::PathFromBytes(QFile::encodeName(pictures.path()));
    const QString good =
        window_testing::WritePng(folder, mGdip::PathFromBytes("lat\xe9.png"), Flat(2, 2, qRgb(200, 10, 10)));
    const QString bad = folder + QLatin1Char('/') + mGdip::PathFromBytes("bad\xe9.png");
    {
        const QByteArray badBytes = mGdip::PathToBytes(bad);
        std::FILE* file = std::fopen(badBytes.constData(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("not an image", file);
        std::fclose(file);
    }
    Run({[&] { model->Drop({good}); },
        [&] {
            EXPECT_EQ(model->state().SourceFileName, mGdip::PathFromBytes("lat\xe9.png"));
            model->Drop({bad});
            ASSERT_EQ(view.messages.size(), 1);
            EXPECT_TRUE(view.messages[0].contains(QStringLiteral("bad\\xE9.png"))) << view.messages[0].toStdString();
            EXPECT_TRUE(view.messages[0].contains(QStringLiteral("图像格式"))) << view.messages[0].toStdString();
            EXPECT_EQ(model->state().SourceFileName, mGdip::PathFromBytes("lat\xe9.png")) << "the previous image stays";
            EXPECT_EQ(view.sourceShown, 1);
            model->PostCommand(passes::kSimpleRemoval);
        },
        [&] { model->Save(); }});
    EXPECT_EQ(view.messages.size(), 1);
    EXPECT_EQ(::access((programBytes + "/SAVE/lat\xe9.png.png").constData(), F_OK), 0) << "saved under its own bytes";
}

TEST_F(WindowModelTest, SavingWithoutAnImageAResultOrAFolderSaysWhyAndWritesNothing)
{
    const QString a = window_testing::WritePng(pictures, QStringLiteral("A.png"), Flat(2, 2, qRgb(1, 2, 3)));
    const QString save = SaveFolder();
    // Before any drop there is no file name to show, nor one to make up.
    const QString nothingYet =
        QStringLiteral("没有保存：还没有图像，也还没有处理结果。请先把图像拖进黑色相框，再运行一种处理。");
    Run({[&] {
             model->Save();
             ASSERT_EQ(view.messages.size(), 1);
             EXPECT_EQ(view.messages[0], nothingYet);
             model->PostCommand(passes::kSimpleRemoval); // with no image: no result either
         },
        [&] {
            model->Save();
            ASSERT_EQ(view.messages.size(), 2);
            EXPECT_EQ(view.messages[1], nothingYet);
            model->Drop({a});
        },
        [&] {
            model->Save();
            ASSERT_EQ(view.messages.size(), 3);
            EXPECT_TRUE(view.messages[2].contains(save + QStringLiteral("/A.png.png")))
                << view.messages[2].toStdString();
            model->PostCommand(passes::kSimpleRemoval);
        },
        [&] {
            model->Save();
            ASSERT_EQ(view.messages.size(), 4);
            EXPECT_TRUE(view.messages[3].contains(QStringLiteral("SAVE 文件夹不存在")))
                << view.messages[3].toStdString();
            EXPECT_TRUE(view.messages[3].contains(save)) << view.messages[3].toStdString();
        }});
    EXPECT_FALSE(QFileInfo::exists(save));
}

// ---- panning: both 349 × 349 pictures over images larger and smaller --------

class WindowModelPanning : public WindowModelTest {
protected:
    QPoint Offset() const { return model->state().ViewOffset; }
    QRgb SourceShown(QPoint at) const { return model->state().SourceSurface.target()->pixel(at); }
    QRgb ResultShown(QPoint at) const { return model->state().ResultSurface.target()->pixel(at); }
    // Both pictures show `image` from `from`: corners and a pixel inside.
    void ExpectBothShowFrom(const QImage& image, QPoint from) const
    {
        for (const QPoint at : {QPoint(0, 0), QPoint(348, 0), QPoint(0, 348), QPoint(348, 348), QPoint(17, 301)}) {
            EXPECT_EQ(SourceShown(at), image.pixel(from + at)) << at.x() << "," << at.y();
            EXPECT_EQ(ResultShown(at), image.pixel(from + at)) << at.x() << "," << at.y();
        }
    }

    const QImage large = Gradient(1000, 600);
    const QString largePath = window_testing::WritePng(pictures, QStringLiteral("large.png"), large);
};

TEST_F(WindowModelPanning, TheViewStaysWithinTheImageIsSharedByBothPicturesAndANewImageStartsAtTheCorner)
{
    const QString wide = window_testing::WritePng(pictures, QStringLiteral("wide.png"), Gradient(500, 100));
    const QString small = window_testing::WritePng(pictures, QStringLiteral("small.png"), Gradient(100, 50));
    const QString notAnImage = pictures.filePath(QStringLiteral("notes.png"));
    {
        QFile notes(notAnImage);
        ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
        notes.write("not an image");
    }
    Run({[&] {
             model->PanBy({40, 40});
             EXPECT_EQ(Offset(), QPoint(0, 0)) << "no image yet";
             model->Drop({largePath});
         },
        [&] {
            model->ToleranceSlid(0); // nothing matches: the result is the image itself
            model->PostCommand(passes::kSimpleRemoval);
        },
        [&] {
            model->PanBy({-5, -5});
            EXPECT_EQ(Offset(), QPoint(0, 0));
            model->PanBy({100, 40});
            EXPECT_EQ(Offset(), QPoint(100, 40));
            ExpectBothShowFrom(large, {100, 40});
            model->PanBy({5000, 5000});
            EXPECT_EQ(Offset(), QPoint(1000 - 349, 600 - 349));
            ExpectBothShowFrom(large, {651, 251});
            model->PanBy({-5000, 0});
            EXPECT_EQ(Offset(), QPoint(0, 251));
            model->PanBy({7, -5000});
            EXPECT_EQ(Offset(), QPoint(7, 0));
            ExpectBothShowFrom(large, {7, 0});

            model->Drop({notAnImage});
            EXPECT_EQ(Offset(), QPoint(7, 0)) << "a file that cannot be opened changes nothing";
            model->Drop({wide});
            EXPECT_EQ(Offset(), QPoint(0, 0));
            EXPECT_EQ(ResultShown({0, 0}), large.pixel(0, 0)) << "the result beside it goes back to the corner too";
            model->PanBy({5000, 5000});
            EXPECT_EQ(Offset(), QPoint(500 - 349, 0)) << "as high as the box: it only moves sideways";
            EXPECT_EQ(SourceShown({348, 99}), Gradient(500, 100).pixel(499, 99));
            EXPECT_EQ(SourceShown({348, 100}), qRgb(0, 0, 0)) << "below the image";
            EXPECT_EQ(ResultShown({0, 0}), large.pixel(151, 0));
            model->Drop({small});
            model->PanBy({30, 30});
            EXPECT_EQ(Offset(), QPoint(0, 0)) << "an image that fits does not move";
            EXPECT_EQ(SourceShown({99, 49}), Gradient(100, 50).pixel(99, 49));
            EXPECT_EQ(SourceShown({100, 0}), qRgb(0, 0, 0));
        }});
}

TEST_F(WindowModelPanning, APickAfterPanningTakesThePixelUnderThePointer)
{
    Run({[&] { model->Drop({largePath}); },
        [&] {
            model->PanBy({123, 45});
            // The position rounds first (10.5 to 10, 3.5 to 4), then the view's offset is added.
            model->PickAt(QPointF(10.5, 3.5));
            EXPECT_EQ(view.key, (passes::ArgbChannels{255, 133, 49, 0}));
            model->PickReplacementNext();
            model->PickAt(QPointF(348, 348));
            EXPECT_EQ(view.replacement, (RgbChannels{(123 + 348) % 256, (45 + 348) % 256, 1 * 16 + 1}));
        }});
}

TEST_F(WindowModelPanning, ArrowKeysMoveByAStepHomeGoesBackAndTheWheelScrollsEitherWay)
{
    const auto wheel = [&](QPoint angle, QPoint pixels = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        model->PanByWheel(angle, pixels, modifiers);
        return Offset();
    };
    Run({[&] { model->Drop({largePath}); },
        [&] {
            const struct {
                Qt::Key key;
                Qt::KeyboardModifiers modifiers;
                QPoint after;
            } keys[] = {
                {Qt::Key_Right, Qt::NoModifier, {32, 0}},
                {Qt::Key_Down, Qt::NoModifier, {32, 32}},
                {Qt::Key_Down, Qt::KeypadModifier, {32, 64}},
                {Qt::Key_Left, Qt::NoModifier, {0, 64}},
                {Qt::Key_Left, Qt::NoModifier, {0, 64}},
                {Qt::Key_Up, Qt::NoModifier, {0, 32}},
                {Qt::Key_Right, Qt::NoModifier, {32, 32}},
                {Qt::Key_Home, Qt::NoModifier, {0, 0}},
            };
            for (const auto& k : keys) {
                EXPECT_TRUE(model->PanByKey(k.key, k.modifiers)) << k.key;
                EXPECT_EQ(Offset(), k.after) << k.key;
            }
            model->PanByKey(Qt::Key_Down, Qt::NoModifier);
            EXPECT_FALSE(model->PanByKey(Qt::Key_Right, Qt::ControlModifier));
            EXPECT_FALSE(model->PanByKey(Qt::Key_PageDown, Qt::NoModifier));
            EXPECT_FALSE(model->PanByKey(Qt::Key_A, Qt::NoModifier));
            EXPECT_EQ(Offset(), QPoint(0, 32));
            model->PanByKey(Qt::Key_Home, Qt::NoModifier);

            // A notch (120) is three key steps; turning away from the user scrolls up.
            EXPECT_EQ(wheel({0, -120}), QPoint(0, 96));
            EXPECT_EQ(wheel({0, 120}), QPoint(0, 0));
            EXPECT_EQ(wheel({0, -120}, {}, Qt::ShiftModifier), QPoint(96, 0));
            EXPECT_EQ(wheel({-240, 0}), QPoint(288, 0)) << "a horizontal wheel";
            EXPECT_EQ(wheel({120, 0}), QPoint(192, 0));
            EXPECT_EQ(wheel({0, -120}, {0, -7}), QPoint(192, 7)) << "a touchpad's own pixels";
            for (int turn = 0; turn < 24; ++turn) wheel({0, -5});
            EXPECT_EQ(Offset(), QPoint(192, 103)) << "fine steps add up to a notch";
        }});
}

TEST(WindowFieldRules, DigitsOnlyEmptyIsZeroAndEveryValueIsClamped)
{
    const struct {
        const char* text;
        std::int32_t color, tolerance;
    } cases[] = {
        {"", 0, 0},
        {"0", 0, 0},
        {"007", 7, 7},
        {"255", 255, 255},
        {"256", 255, 255},
        {"99999999999999999999", 255, 255},
        {"12a", 0, 0},
        {"-5", 0, 0},
        {" 5", 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::ColorFieldValue(QString::fromLatin1(c.text)), c.color) << c.text;
        EXPECT_EQ(app::ToleranceFieldValue(QString::fromLatin1(c.text)), c.tolerance) << c.text;
    }
}

TEST_F(WindowModelTest, ColorFieldsAreReadTogetherAndShownNormalised)
{
    Run({[&] {
        model->ColorFieldsTyped({QString(), QStringLiteral("300"), QStringLiteral("07"), QStringLiteral("x")});
        EXPECT_EQ(model->state().TargetAlpha, 0);
        EXPECT_EQ(model->state().ReplacementColor, (RgbChannels{255, 7, 0}));
        EXPECT_EQ(view.targetAlpha, 0);
        EXPECT_EQ(view.replacement, (RgbChannels{255, 7, 0}));
        model->ToleranceTyped(QStringLiteral("300"));
        model->ToleranceSlid(-4);
        EXPECT_EQ(view.tolerances, (std::vector<std::int32_t>{255, 0}));
        EXPECT_EQ(model->state().Tolerance, 0);
    }});
}

TEST(WindowFailureReasons, EveryKindHasItsOwnChineseSentence)
{
    QStringList reasons;
    for (int k = int(mGdip::FailureKind::NotStarted); k <= int(mGdip::FailureKind::WriteFailed); ++k) {
        mGdip::Failure failure = mGdip::MakeFailure(mGdip::FailureKind(k), QStringLiteral("/pics/x"));
        failure.width = 30000;
        failure.height = 30000;
        const QString reason = app::FailureReason(failure);
        const char* name = mGdip::KindName(failure.kind);
        EXPECT_TRUE(reason.contains(QRegularExpression(QStringLiteral("[\\x{4E00}-\\x{9FFF}]{2}")))) << name;
        EXPECT_TRUE(reason.endsWith(QStringLiteral("。"))) << name;
        QString words = reason;
        words.remove(QStringLiteral("/pics/x")).remove(QStringLiteral("PNG"));
        EXPECT_FALSE(words.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2}"))))
            << name << ": " << reason.toStdString();
        EXPECT_FALSE(reasons.contains(reason)) << name << " shares its sentence";
        reasons << reason;
    }
    EXPECT_EQ(app::FailureReason({}), QString());
    const QString tooLarge = app::FailureReason(mGdip::TooLargeFailure(30000, 20000));
    EXPECT_TRUE(tooLarge.contains(QStringLiteral("30000 × 20000"))) << tooLarge.toStdString();
    EXPECT_TRUE(tooLarge.contains(QStringLiteral("2.68 亿像素"))) << tooLarge.toStdString();
    EXPECT_TRUE(app::FailureReason(mGdip::MakeFailure(mGdip::FailureKind::FolderMissing, QStringLiteral("/a/SAVE")))
                    .contains(QStringLiteral("/a/SAVE")));
}

} // namespace
