// The man page and the bash completion made from the option table: every
// option --help shows is in the page, the page is clean roff, and the
// completion offers what the table declares.
#include "imaging_test_support.h"
#include "process_runner.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using testsupport::ProcessResult;

ProcessResult RunBash(const QString& script, const QString& folder)
{
    return testsupport::RunProcess(QStringLiteral("bash"), {QStringLiteral("-c"), script}, folder,
        QProcessEnvironment::systemEnvironment(), std::chrono::minutes(1));
}

TEST(GeneratedDocs, EveryOptionOfTheHelpIsInTheManPage)
{
    const ProcessResult help =
        testsupport::RunProcess(QStringLiteral(CHROMOBRISK_CLI_PATH), {QStringLiteral("--help")}, QDir::currentPath());
    ASSERT_EQ(help.exitCode, 0);
    QString page = QString::fromUtf8(testsupport::ReadBytes(QStringLiteral(CHROMOBRISK_CLI_MAN_PAGE)));
    ASSERT_FALSE(page.isEmpty());
    page.replace(QStringLiteral("\\-"), QStringLiteral("-"));

    // The option column of the help: "  -o, --output DIR".
    const QRegularExpression entry(QStringLiteral("^  (-[^ ].*?)(?:  |$)"), QRegularExpression::MultilineOption);
    const QRegularExpression name(QStringLiteral("--?[A-Za-z0-9][A-Za-z0-9-]*"));
    QStringList options;
    for (auto entries = entry.globalMatch(QString::fromUtf8(help.out)); entries.hasNext();)
        for (auto names = name.globalMatch(entries.next().captured(1)); names.hasNext();)
            options << names.next().captured();
    EXPECT_GE(options.size(), 25) << qPrintable(options.join(QLatin1Char(' ')));
    // Each as a whole word in the heading of an entry (a .B or .BR line after .TP).
    for (const QString& option : options) {
        const QRegularExpression heading(
            QStringLiteral("^\\.TP\n\\.BR? (.*[ \"])?%1([ \"].*)?$").arg(QRegularExpression::escape(option)),
            QRegularExpression::MultilineOption);
        EXPECT_TRUE(heading.match(page).hasMatch()) << qPrintable(option);
    }
    for (const char* pass : {"simple", "alpha", "replace"})
        EXPECT_TRUE(page.contains(QStringLiteral(".TP\n.B %1\n").arg(QLatin1String(pass)))) << pass;
    EXPECT_FALSE(page.contains(QLatin1Char('@'))) << "a placeholder was left";

    // groff finds nothing to warn about.
    const ProcessResult lint =
        RunBash(QStringLiteral("groff -man -Tutf8 -ww -z \"%1\"").arg(QStringLiteral(CHROMOBRISK_CLI_MAN_PAGE)),
            QDir::currentPath());
    EXPECT_EQ(lint.exitCode, 0);
    EXPECT_EQ(lint.err, QByteArray());
}

class Completion : public testsupport::TempFolderTest {
protected:
    // What the completion offers for the words of a command line, the last being completed.
    QStringList Offered(const QString& words) const
    {
        const ProcessResult r =
            RunBash(QStringLiteral("source \"%1\"; COMP_WORDS=(%2); COMP_CWORD=$((${#COMP_WORDS[@]} - 1));"
                                   " _chromobrisk_cli; printf '%s\\n' \"${COMPREPLY[@]}\"")
                        .arg(QStringLiteral(CHROMOBRISK_CLI_COMPLETION), words),
                folder());
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        QStringList offered = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        offered.sort();
        return offered;
    }
};

TEST_F(Completion, OffersPassesOptionsColorsAndFolders)
{
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(testsupport::WriteBytes(path(QStringLiteral("shot.png")), "x"));
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli s")), QStringList{QStringLiteral("simple")});
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli --key white s")), QStringList{QStringLiteral("simple")});
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli simple --ove")), QStringList{QStringLiteral("--overwrite")});
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli simple --files0")), QStringList{QStringLiteral("--files0-from")});
    const QStringList whites{QStringLiteral("white"), QStringLiteral("whitesmoke")};
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli simple --key Whi")), whites);
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli replace --to = whi")), whites); // --to=whi, as bash splits it
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli simple -o ''")), QStringList{QStringLiteral("sub")});
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli simple s")),
        (QStringList{QStringLiteral("shot.png"), QStringLiteral("sub")}));
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli simple --tolerance ''")), QStringList{});
    EXPECT_EQ(Offered(QStringLiteral("chromobrisk-cli simple -- --o")), QStringList{}); // names only after --
}

} // namespace
