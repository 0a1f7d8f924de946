// Every text the user reads is Chinese: the reasons of the window's failure
// messages and Qt's own dialogs.
#include "window_test_support.h"

#include "app/translations.h"

#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

using app::Form1;
using window_testing::DropFiles;
using window_testing::Recorded;
using window_testing::RunWindow;
using window_testing::TestOptions;

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

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

std::uint32_t Crc32(const QByteArray& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG whose header announces 30000 x 30000 pixels, more than may be opened.
QByteArray HugePngHeader()
{
    QByteArray ihdr("IHDR");
    const char fields[13] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30, 8, 6, 0, 0, 0};
    ihdr.append(fields, sizeof fields);
    auto be32 = [](std::uint32_t v) {
        QByteArray out(4, '\0');
        qToBigEndian(v, out.data());
        return out;
    };
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png += be32(13) + ihdr + be32(Crc32(ihdr));
    png += be32(0) + QByteArray("IDAT") + be32(Crc32("IDAT")); // the header is read up to here
    png += be32(0) + QByteArray("IEND") + be32(Crc32("IEND"));
    return png;
}

TEST(WindowTexts, EveryReasonForAFileThatCannotBeOpenedOrSavedIsChinese)
{
    QTemporaryDir pictures, program;
    ASSERT_TRUE(QDir(program.path()).mkdir(QStringLiteral("SAVE")));
    QImage noise(64, 64, QImage::Format_ARGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) noise.setPixel(x, y, qRgba(x * 37 % 256, y * 91 % 256, (x ^ y) * 13 % 256, 255));
    const QString good = window_testing::WritePng(pictures, QStringLiteral("good.png"), noise);
    QFile whole(good);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    WriteBytes(pictures.filePath(QStringLiteral("cut.png")), whole.readAll().left(whole.size() / 2));
    WriteBytes(pictures.filePath(QStringLiteral("empty.png")), {});
    WriteBytes(pictures.filePath(QStringLiteral("notes.png")), "just some notes");
    WriteBytes(pictures.filePath(QStringLiteral("huge.png")), HugePngHeader());
    ASSERT_TRUE(QDir(pictures.path()).mkdir(QStringLiteral("folder.png")));
    // In the way of the result of good.png.
    ASSERT_TRUE(QDir(program.filePath(QStringLiteral("SAVE"))).mkdir(QStringLiteral("good.png.png")));

    struct Expected {
        QString file;
        QString says; // the gist of the reason
    };
    const Expected drops[] = {
        {QStringLiteral("missing.png"), QStringLiteral("不存在")}, {QStringLiteral("folder.png"), QStringLiteral("文件夹")},
        {QStringLiteral("empty.png"), QStringLiteral("为空")},      {QStringLiteral("notes.png"), QStringLiteral("图像格式")},
        {QStringLiteral("cut.png"), QStringLiteral("损坏")},        {QStringLiteral("huge.png"), QStringLiteral("过大")},
    };
    Recorded recorded;
    Form1 form(TestOptions(recorded, program.path()));
    QStringList saveMessages;
    RunWindow(form, {[&] {
                         for (const Expected& drop : drops) DropFiles(form.Pic1, {pictures.filePath(drop.file)});
                         DropFiles(form.Pic1, {good});
                     },
                     [&] { form.CMDTransP->click(); },
                     [&] { form.CMDSAVE->click(); }});
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
