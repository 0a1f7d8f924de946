// Every text the user reads is Chinese: the reasons of the window's failure
// messages and Qt's own dialogs.
#include "imaging_test_support.h"
#include "scratch_folder.h"
#include "window_test_support.h"

#include "app/translations.h"

#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using app::Form1;
using namespace window_testing;

// Words in Latin letters once the given names are taken out; "PNG", "SAVE"
// and "HTML" are names too.
QStringList LatinWords(QString text, const QStringList& names)
{
    for (const QString& name : names) text.remove(name);
    QStringList words;
    for (const QRegularExpressionMatch& match : QRegularExpression(QStringLiteral("[A-Za-z]{2,}")).globalMatch(text))
        if (!QStringList{"PNG", "SAVE", "HTML"}.contains(match.captured())) words << match.captured();
    return words;
}

// A PNG whose header announces 30000 x 30000 pixels, more than may be opened;
// the header is read up to the (empty) image data.
QByteArray HugePngHeader()
{
    const char fields[13] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30, 8, 6, 0, 0, 0};
    return QByteArray(testsupport::kPngSignature, 8) + testsupport::PngChunk("IHDR", QByteArray(fields, sizeof fields))
        + testsupport::PngChunk("IDAT", {}) + testsupport::PngChunk("IEND", {});
}

TEST(WindowTexts, EveryReasonForAFileThatCannotBeOpenedOrSavedIsChinese)
{
    testsupport::ScratchFolder pictures, program;
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("SAVE")));
    QImage noise(64, 64, QImage::Format_ARGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) noise.setPixel(x, y, qRgba(x * 37 % 256, y * 91 % 256, (x ^ y) * 13 % 256, 255));
    const QString good = window_testing::WritePng(pictures, QStringLiteral("good.png"), noise);
    QFile whole(good);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    using testsupport::WriteBytes;
    ASSERT_TRUE(WriteBytes(pictures.filePath(QStringLiteral("cut.png")), whole.readAll().left(whole.size() / 2)));
    ASSERT_TRUE(WriteBytes(pictures.filePath(QStringLiteral("empty.png")), {}));
    ASSERT_TRUE(WriteBytes(pictures.filePath(QStringLiteral("notes.png")), "just some notes"));
    ASSERT_TRUE(WriteBytes(pictures.filePath(QStringLiteral("huge.png")), HugePngHeader()));
    ASSERT_TRUE(QDir(pictures.path()).mkdir(QStringLiteral("folder.png")));
    // In the way of the result of good.png.
    ASSERT_TRUE(QDir(program.filePath(QStringLiteral("SAVE"))).mkdir(QStringLiteral("good.png.png")));

    struct Expected {
        QString file;
        QString says; // the gist of the reason
    };
    const Expected drops[] = {
        {QStringLiteral("missing.png"), QStringLiteral("不存在")},
        {QStringLiteral("folder.png"), QStringLiteral("文件夹")},
        {QStringLiteral("empty.png"), QStringLiteral("为空")},
        {QStringLiteral("notes.png"), QStringLiteral("图像格式")},
        {QStringLiteral("cut.png"), QStringLiteral("损坏")},
        {QStringLiteral("huge.png"), QStringLiteral("过大")},
    };
    Recorded recorded;
    Form1 form(TestOptions(recorded, program.path()));
    QStringList saveMessages;
    RunWindow(form,
        {[&] {
             for (const Expected& drop : drops) DropFiles(form.Pic1, {pictures.filePath(drop.file)});
             DropFiles(form.Pic1, {good});
         },
            [&] { form.CMDTransP->click(); }, [&] { form.CMDSAVE->click(); }});
    ASSERT_EQ(recorded.messages.size(), int(std::size(drops)) + 1);
    for (std::size_t i = 0; i < std::size(drops); ++i) {
        const QString& message = recorded.messages[int(i)];
        EXPECT_TRUE(message.contains(drops[i].file)) << message.toStdString();
        EXPECT_TRUE(message.contains(drops[i].says)) << message.toStdString();
        EXPECT_EQ(LatinWords(message, {drops[i].file}), QStringList{}) << message.toStdString();
        EXPECT_FALSE(message.contains(QLatin1Char('('))) << "no reason of the imaging layer appended";
    }
    const QString saveFailure = recorded.messages.last();
    const QString target = QDir::toNativeSeparators(program.filePath(QStringLiteral("SAVE/good.png.png")));
    EXPECT_TRUE(saveFailure.contains(target)) << saveFailure.toStdString();
    EXPECT_TRUE(saveFailure.contains(QStringLiteral("文件夹"))) << saveFailure.toStdString();
    EXPECT_EQ(LatinWords(saveFailure, {target}), QStringList{}) << saveFailure.toStdString();
}

TEST(WindowTexts, QtsOwnDialogsSpeakChinese)
{
    const auto translations = app::InstallChineseTranslations();
    ASSERT_NE(translations, nullptr) << "Qt's Chinese translations (qt6-translations-l10n) are missing";

    QMessageBox box(QMessageBox::Warning, QStringLiteral("Chromobrisk"), QStringLiteral("消息"),
        QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));

    QColorDialog dialog(Qt::black);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    EXPECT_EQ(LatinWords(dialog.windowTitle(), {}), QStringList{});
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) texts << button->text();
    ASSERT_GE(texts.size(), 10);
    // Mnemonics such as "(&B)" are Latin letters, but no words.
    const QString all = texts.join(QLatin1Char('\n')).remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    EXPECT_EQ(LatinWords(all, {}), QStringList{}) << all.toStdString();
}

} // namespace
