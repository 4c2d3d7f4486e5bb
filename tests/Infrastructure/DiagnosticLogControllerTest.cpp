#include "Infrastructure/DiagnosticLogController.h"

#include "Platform/Linux/MailComposer.h"

#include "Support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace zen;
using namespace zen::test;

namespace {

class DiagnosticLogControllerTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QString logsFolder = home.filePath("Logs");
    QString logPath = home.filePath("Logs/events.log");

    QStringList revealedFiles;
    QStringList revealedFolders;
    QStringList suggestedNames;
    std::optional<QString> destination;
    int composerRequests = 0;
    std::optional<DiagnosticLogEmailComposer> composer;

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(logsFolder)); }

    std::unique_ptr<DiagnosticLogController> controller()
    {
        return std::make_unique<DiagnosticLogController>(
            logPath,
            [this](const QString& url) { revealedFiles.append(url); return true; },
            [this](const QString& url) { revealedFolders.append(url); return true; },
            [this](const QString& name) { suggestedNames.append(name); return destination; },
            [this] { ++composerRequests; return composer; },
            [] { return QDateTime(QDate(2024, 3, 10), QTime(9, 5, 7), Qt::UTC); });
    }
};

} // namespace

TEST_F(DiagnosticLogControllerTest, RevealShowsTheFileOrElseItsFolder)
{
    auto c = controller();
    c->revealInFinder();
    EXPECT_TRUE(revealedFiles.isEmpty());
    EXPECT_EQ(revealedFolders, QStringList{logsFolder});

    writeFile(logPath, "{}\n");
    c->revealInFinder();
    EXPECT_EQ(revealedFiles, QStringList{logPath});
}

TEST_F(DiagnosticLogControllerTest, ExportWithoutALogAsksNothingAndCancelWritesNothing)
{
    auto c = controller();
    destination = home.filePath("out.jsonl");
    EXPECT_EQ(c->exportLog().value(), DiagnosticLogExportResult::noLog());
    EXPECT_TRUE(suggestedNames.isEmpty());

    writeFile(logPath, "line\n");
    destination.reset();
    EXPECT_EQ(c->exportLog().value(), DiagnosticLogExportResult::cancelled());
    EXPECT_EQ(suggestedNames, QStringList{"Zentharion-Diagnostic-Log-20240310-090507.jsonl"});
    EXPECT_FALSE(QFileInfo::exists(home.filePath("out.jsonl")));
}

TEST_F(DiagnosticLogControllerTest, ExportReplacesTheDestinationAndLeavesTheLogAsItWas)
{
    auto c = controller();
    const QByteArray content = "{\"a\":1}\n{\"b\":2}\n";
    writeFile(logPath, content);
    destination = home.filePath("out.jsonl");
    writeFile(*destination, "older, longer content that must go entirely\n");

    EXPECT_EQ(c->exportLog().value(), DiagnosticLogExportResult::exported(*destination));
    EXPECT_EQ(readFile(*destination), content);
    EXPECT_EQ(readFile(logPath), content);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.jsonl"});
}

TEST_F(DiagnosticLogControllerTest, AFailedExportReportsTheErrorAndLeavesNoPartialFile)
{
    auto c = controller();
    writeFile(logPath, "line\n");
    destination = home.filePath("missing-folder/out.jsonl");
    const auto failed = c->exportLog();
    ASSERT_FALSE(failed.has_value());
    EXPECT_FALSE(QFileInfo::exists(*destination));

    // A log that is not a regular file is refused before any destination is asked for.
    QFile::remove(logPath);
    ASSERT_TRUE(QDir().mkpath(logPath));
    suggestedNames.clear();
    EXPECT_FALSE(c->exportLog().has_value());
    EXPECT_TRUE(suggestedNames.isEmpty());
}

TEST_F(DiagnosticLogControllerTest, ClearRemovesTheLogAndIsQuietWithoutOne)
{
    auto c = controller();
    EXPECT_TRUE(c->clear().has_value());
    writeFile(logPath, "line\n");
    EXPECT_TRUE(c->hasLog());
    EXPECT_TRUE(c->clear().has_value());
    EXPECT_FALSE(c->hasLog());

    // A folder by the log's name is not removed, and the failure is passed on.
    ASSERT_TRUE(QDir().mkpath(logPath + "/inner"));
    EXPECT_FALSE(c->clear().has_value());
    EXPECT_TRUE(QFileInfo(logPath + "/inner").isDir());
}

TEST_F(DiagnosticLogControllerTest, SupportMailAttachesTheLogWhereItLies)
{
    auto c = controller();
    QStringList composed;
    bool canPerform = true;
    bool handOver = true;
    composer = DiagnosticLogEmailComposer{
        .canPerform = [&](const QString& body, const QString& attachment) {
            EXPECT_EQ(body, "Body");
            EXPECT_EQ(attachment, logPath);
            return canPerform;
        },
        .compose = [&](const QString& to, const QString& subject, const QString& body, const QString& attachment) {
            composed = {to, subject, body, attachment};
            return handOver;
        },
    };

    // No log: no composer is even asked for.
    EXPECT_FALSE(c->composeSupportEmail("help@example.org", "Subject", "Body"));
    EXPECT_EQ(composerRequests, 0);

    writeFile(logPath, "line\n");
    canPerform = false;
    EXPECT_FALSE(c->composeSupportEmail("help@example.org", "Subject", "Body"));
    EXPECT_TRUE(composed.isEmpty());

    canPerform = true;
    EXPECT_EQ(c->composeSupportEmail("help@example.org", "Subject", "Body"),
              (SupportEmailOutcome{.handedOver = true, .attachmentIncluded = true}));
    EXPECT_EQ(composed, (QStringList{"help@example.org", "Subject", "Body", logPath}));

    // A mail program that could not be started is a failure, not a success.
    handOver = false;
    EXPECT_FALSE(c->composeSupportEmail("help@example.org", "Subject", "Body"));

    // A composer that cannot attach files says so.
    handOver = true;
    composer->attachesFiles = false;
    EXPECT_EQ(c->composeSupportEmail("help@example.org", "Subject", "Body"),
              (SupportEmailOutcome{.handedOver = true, .attachmentIncluded = false}));

    composer.reset();
    EXPECT_FALSE(c->composeSupportEmail("help@example.org", "Subject", "Body"));
}

TEST_F(DiagnosticLogControllerTest, ALinkInPlaceOfTheLogIsNeitherExportedNorMailed)
{
    auto c = controller();
    const QString secret = home.filePath("secret");
    writeFile(secret, "not the log\n");
    ASSERT_TRUE(QFile::link(secret, logPath));
    destination = home.filePath("out.jsonl");
    composer = DiagnosticLogEmailComposer{
        .canPerform = [](const QString&, const QString&) { return true; },
        .compose = [](const QString&, const QString&, const QString&, const QString&) {
            ADD_FAILURE() << "a linked log was handed to the mail program";
            return true;
        },
    };

    const auto exported = c->exportLog();
    ASSERT_FALSE(exported.has_value());
    EXPECT_EQ(exported.error().code, ELOOP);
    EXPECT_FALSE(QFileInfo::exists(home.filePath("out.jsonl")));
    EXPECT_FALSE(c->composeSupportEmail("help@example.org", "Subject", "Body"));
    // The link is still the user's to clear.
    EXPECT_TRUE(c->hasLog());
    ASSERT_TRUE(c->clear().has_value());
    EXPECT_EQ(readFile(secret), "not the log\n");
}

// The application binds the desktop's viewer, save panel and mail program; a controller made
// without them reaches for none of its own.
TEST_F(DiagnosticLogControllerTest, WithoutDesktopServicesNothingIsShownExportedOrMailed)
{
    DiagnosticLogController bare(logPath);
    writeFile(logPath, "{}\n");
    bare.revealInFinder();
    EXPECT_EQ(bare.exportLog(), DiagnosticLogExportResult::cancelled());
    EXPECT_FALSE(bare.composeSupportEmail("support@example.org", "Help", "Body"));
    EXPECT_EQ(QDir(logsFolder).entryList(QDir::Files | QDir::Hidden), QStringList{"events.log"});
    EXPECT_TRUE(bare.clear());
    EXPECT_FALSE(bare.hasLog());
}

TEST(DiagnosticLogExportFilename, IsInUtcWithWesternDigitsWhateverTheLocalZoneAndLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    // 23:30 on 31 December, eight hours behind UTC: the next day and year in UTC.
    const QDateTime evening(QDate(2023, 12, 31), QTime(23, 30, 0), QTimeZone(-8 * 3600));
    EXPECT_EQ(diagnosticLogExportFilename(evening), "Zentharion-Diagnostic-Log-20240101-073000.jsonl");
    QLocale::setDefault(previous);
}

TEST(LinuxMailComposer, PassesTheTextsAsSingleArgumentsAndEncodesTheMailtoLink)
{
    EXPECT_EQ(linux_desktop::xdgEmailArguments("help@example.org", "Log & more", "Line 1\nLine 2", "/tmp/a b/events.log"),
              (QStringList{"--attach", "/tmp/a b/events.log", "--subject", "Log & more", "--body", "Line 1\nLine 2",
                           "help@example.org"}));
    EXPECT_EQ(linux_desktop::xdgEmailArguments("-x@example.org", "s", "b", "f").last(), "mailto:-x@example.org");

    const QUrl url = linux_desktop::mailtoUrl("help@example.org", "A&cc=evil@example.org", "50% done?\nYes");
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.scheme(), "mailto");
    EXPECT_EQ(url.path(), "help@example.org");
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItems(QUrl::FullyDecoded).size(), 2);
    EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), "A&cc=evil@example.org");
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded), "50% done?\nYes");
}
