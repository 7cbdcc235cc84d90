#include "browser/NewVersionCheck.h"
#include "LocalHttpServer.h"
#include "common/ProductVersion.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

// A version document as the maker publishes it (saved by a word processor, Windows line ends).
QByteArray VersionDocument(const char* version)
{
    return QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n"
                      "\\viewkind4\\uc1\\pard\\b\\f0\\fs24 Quarrane\\b0\\par\r\n"
                      "Version\\par\r\n") +
           version +
           "\\par\r\n"
           "\\par\r\n"
           "What is new: faster duplicate search.\\par\r\n"
           "}\r\n";
}

constexpr int kWaitMs = 10000;

} // namespace

TEST(NewVersionCheck, ReadsTheVersionAfterTheWordVersion)
{
    struct Case
    {
        const char* name;
        QString document;
        std::optional<double> version;
    };
    const Case cases[] = {
        {"published document", QString::fromLatin1(VersionDocument("1.07")), 1.07},
        {"Unix line ends", QStringLiteral("{\\rtf1 Version\\par\n1.07\\par\n}\n"), 1.07},
        {"no line end after the last marker", QStringLiteral("Version\\par\r\n2.5\\par"), 2.5},
        {"blanks and text after the number", QStringLiteral("Version\\par\r\n  1.10 beta\\par\r\n"), 1.10},
        {"whole number", QStringLiteral("Version\\par\r\n2\\par\r\n"), 2.0},
        {"leading point", QStringLiteral("Version\\par\r\n.5\\par\r\n"), 0.5},
        {"the first marker after the word, not the word's line",
         QStringLiteral("Version 9.99\\par 1.00\\par\r\n1.07\\par\r\n"), 1.07},
        {"first Version wins", QStringLiteral("Version\\par\r\n1.07\\par\r\nVersion\\par\r\n3.00\\par\r\n"),
         1.07},
        {"no word Version", QStringLiteral("{\\rtf1 Release\\par\r\n1.07\\par\r\n}"), std::nullopt},
        {"word in lower case", QStringLiteral("version\\par\r\n1.07\\par\r\n"), std::nullopt},
        {"no marker after the word", QStringLiteral("Version 1.07"), std::nullopt},
        {"no closing marker", QStringLiteral("Version\\par\r\n1.07"), std::nullopt},
        {"marker without its line end", QStringLiteral("Version\\par 1.07\\par 1.08"), std::nullopt},
        {"no number", QStringLiteral("Version\\par\r\nsoon\\par\r\n"), std::nullopt},
        {"empty line", QStringLiteral("Version\\par\r\n\\par\r\n"), std::nullopt},
        {"control word before the number", QStringLiteral("Version\\par\r\n\\b 1.07\\par\r\n"), std::nullopt},
        {"empty document", QString(), std::nullopt},
    };
    for (const Case& c : cases)
    {
        const std::optional<double> found = CNewVersionCheck::ParseVersion(c.document);
        ASSERT_EQ(found.has_value(), c.version.has_value()) << c.name;
        if (found)
        {
            EXPECT_DOUBLE_EQ(*found, *c.version) << c.name;
        }
    }
}

TEST(NewVersionCheck, NewerMeansGreaterThanTheRunningVersion)
{
    const double running = ParseProductVersion(QStringLiteral("0, 1, 6, 0"));
    struct Case
    {
        double published;
        bool newer;
    };
    const Case cases[] = {{1.07, true},  {1.06, false}, {1.05, false}, {1.1, true},
                          {1.061, true}, {0.0, false},  {2.0, true}};
    for (const Case& c : cases)
        EXPECT_EQ(CNewVersionCheck::IsNewer(c.published, running), c.newer) << c.published;
    EXPECT_FALSE(CNewVersionCheck::IsNewer(
        *CNewVersionCheck::ParseVersion(QStringLiteral("Version\\par\r\n1.06\\par\r\n")), running));
}

TEST(NewVersionCheck, SettingsDecideWhetherAndWhereToLook)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);

    EXPECT_TRUE(CNewVersionCheck::ShouldCheck(settings)) << "checks unless told otherwise";
    EXPECT_EQ(CNewVersionCheck::VersionUrl(settings).path(),
              QStringLiteral("/products/quarrane/version.rtf"));
    EXPECT_EQ(CNewVersionCheck::DownloadUrl(settings).path(), QStringLiteral("/download.html"));

    const std::pair<QVariant, bool> values[] = {
        {0, false}, {1, true}, {2, true}, {QStringLiteral("0"), false}, {QStringLiteral("1"), true}};
    for (const auto& [value, check] : values)
    {
        settings.setValue(CNewVersionCheck::kCheckKey, value);
        EXPECT_EQ(CNewVersionCheck::ShouldCheck(settings), check) << value.toString().toStdString();
    }

    settings.setValue(CNewVersionCheck::kVersionUrlKey, QStringLiteral("http://127.0.0.1:1/v.rtf"));
    settings.setValue(CNewVersionCheck::kDownloadUrlKey, QStringLiteral("http://127.0.0.1:1/get.html"));
    EXPECT_EQ(CNewVersionCheck::VersionUrl(settings), QUrl(QStringLiteral("http://127.0.0.1:1/v.rtf")));
    EXPECT_EQ(CNewVersionCheck::DownloadUrl(settings), QUrl(QStringLiteral("http://127.0.0.1:1/get.html")));
}

TEST(NewVersionCheck, SwitchedOffAtStartMakesNoRequest)
{
    CLocalHttpServer server;
    ASSERT_TRUE(server.IsListening());
    server.Answer(200, VersionDocument("1.07"));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    settings.setValue(CNewVersionCheck::kVersionUrlKey, server.Url());

    settings.setValue(CNewVersionCheck::kCheckKey, 0);
    CNewVersionCheck off;
    QSignalSpy offFound(&off, &CNewVersionCheck::newVersionAvailable);
    EXPECT_FALSE(off.StartIfWanted(settings));
    EXPECT_FALSE(off.IsPending());
    // Nothing is expected to happen: give a request every chance to arrive anyway.
    QTest::qWait(300);
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_EQ(offFound.count(), 0);

    // The same server is reached as soon as the setting asks for it.
    settings.setValue(CNewVersionCheck::kCheckKey, 1);
    CNewVersionCheck on;
    QSignalSpy onFound(&on, &CNewVersionCheck::newVersionAvailable);
    EXPECT_TRUE(on.StartIfWanted(settings));
    EXPECT_TRUE(onFound.wait(kWaitMs));
    EXPECT_EQ(server.Requests(), 1);
}

TEST(NewVersionCheck, TellsOnlyOfANewerPublishedVersion)
{
    CLocalHttpServer server;
    ASSERT_TRUE(server.IsListening());
    QByteArray large = VersionDocument("1.07");
    large.append(QByteArray(CNewVersionCheck::kMaxDocumentBytes, ' '));
    struct Case
    {
        const char* name;
        int status;
        QByteArray body;
        bool told;
    };
    const Case cases[] = {
        {"newer", 200, VersionDocument("1.07"), true},
        {"equal", 200, VersionDocument("1.06"), false},
        {"older", 200, VersionDocument("1.05"), false},
        {"not found", 404, VersionDocument("1.07"), false},
        {"garbage", 200, QByteArray("\x00\xff\x13<html>Version</html>", 23), false},
        {"empty", 200, QByteArray(), false},
        {"too large to be a version document", 200, large, false},
    };
    for (const Case& c : cases)
    {
        server.Answer(c.status, c.body);
        CNewVersionCheck check;
        check.SetRunningVersion(1.06);
        QSignalSpy told(&check, &CNewVersionCheck::newVersionAvailable);
        QSignalSpy finished(&check, &CNewVersionCheck::finished);
        check.Start(server.Url());
        ASSERT_TRUE(finished.wait(kWaitMs)) << c.name;
        EXPECT_FALSE(check.IsPending()) << c.name;
        ASSERT_EQ(told.count(), c.told ? 1 : 0) << c.name;
        if (c.told)
        {
            EXPECT_EQ(told[0][0].toString(), QString::fromLatin1(c.body)) << c.name;
        }
    }
}

TEST(NewVersionCheck, UnreachableServerTellsNothing)
{
    // A port that was free a moment ago: the connection is refused.
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    CNewVersionCheck check;
    check.SetRunningVersion(0.0);
    QSignalSpy told(&check, &CNewVersionCheck::newVersionAvailable);
    QSignalSpy finished(&check, &CNewVersionCheck::finished);
    check.Start(QUrl(QStringLiteral("http://127.0.0.1:%1/version.rtf").arg(port)));
    ASSERT_TRUE(finished.wait(kWaitMs));
    EXPECT_EQ(told.count(), 0);

    // No address at all starts nothing.
    check.Start(QUrl());
    EXPECT_FALSE(check.IsPending());
}

TEST(NewVersionCheck, AbandonEndsAFetchTheServerNeverAnswers)
{
    CLocalHttpServer server;
    ASSERT_TRUE(server.IsListening());
    server.Silent();
    auto check = std::make_unique<CNewVersionCheck>();
    check->SetRunningVersion(0.0);
    QSignalSpy told(check.get(), &CNewVersionCheck::newVersionAvailable);
    QSignalSpy finished(check.get(), &CNewVersionCheck::finished);
    check->Start(server.Url());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests() == 1; }, kWaitMs));
    EXPECT_TRUE(check->IsPending());

    // The shutdown waits at most ten seconds for a pending fetch.
    QElapsedTimer timer;
    timer.start();
    check->Abandon();
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_FALSE(check->IsPending());
    // The abandoned fetch reports nothing afterwards, and the check goes away cleanly.
    QTest::qWait(200);
    EXPECT_EQ(told.count(), 0);
    EXPECT_EQ(finished.count(), 0);

    // Going away with a fetch pending is the same as abandoning it.
    check->Start(server.Url());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests() == 2; }, kWaitMs));
    timer.restart();
    check.reset();
    EXPECT_LT(timer.elapsed(), 10000);
}
