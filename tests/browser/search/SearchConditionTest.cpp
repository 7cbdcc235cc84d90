#include "SearchParam.h"
#include "browser/search/MagnetLink.h"
#include "browser/search/QueryFieldCondition.h"

#include <gtest/gtest.h>

namespace
{
const SSearchField kName{QStringLiteral("File"), QStringLiteral("File.File"), kFieldText};
const SSearchField kWidened{kFileNameFolderAlternateFile, QStringLiteral("File.File"), kFieldText};
const SSearchField kSize{QStringLiteral("Size"), QStringLiteral("File.FileSizeDouble"), kFieldSize};
const SSearchField kDate{QStringLiteral("Last Modified"), QStringLiteral("File.LastModified"), kFieldDate};
const SSearchField kNumber{QStringLiteral("Priority"), QStringLiteral("Catalogue.CatalogueKeepPriority"),
                           kFieldInteger};

std::string Fragment(const SQueryFieldParam& param, const QDateTime& now = QDateTime::currentDateTime())
{
    const SConditionFragment fragment = QueryFieldCondition(param, now);
    return (fragment.IsValid() ? fragment.strFragment : QStringLiteral("error: ") + fragment.strError)
        .toStdString();
}
} // namespace

TEST(QueryFieldConditionTest, TextTermsQuotedAndWidened)
{
    const struct
    {
        SQueryFieldParam param;
        const char* fragment;
    } cases[] = {
        {Param(kName, "Contains", "abc\r\nd'e"),
         "( (File.File LIKE '*abc*') AND (File.File LIKE '*d''e*') )"},
        {Param(kName, "Does not contain", "  "), "( (File.File <> '') AND (File.File Is Not Null) )"},
        {Param(kName, "Contains", ""), "( (File.File = '') OR (File.File Is Null) )"},
        {Param(kName, "Begins", " x' OR 1=1 --"), "( (File.File LIKE 'x'' OR 1=1 --*') )"},
        {Param(kName, "Ends", ".mp3"), "( (File.File LIKE '*.mp3') )"},
        {Param(kName, "=", "a*b#[c]"), "( (File.File = 'a*b#[c]') )"},
        {Param(kName, "<>", "x\n\ny"), "( (File.File <> 'x') AND (File.File <> 'y') )"},
        // The person's wildcards stay; "#" and "[" match themselves.
        {Param(kName, "Contains", "C# [live]?"), "( (File.File LIKE '*C[#] [[]live]?*') )"},
        {Param(kWidened, "Contains", "ab"),
         " ( ( (File.File LIKE '*ab*') ) OR ( (RelativePath.RelativePath LIKE '*ab*') ) OR ( "
         "(File.AlternateFile LIKE '*ab*') ) ) "},
        {Param(kWidened, "Contains", ""),
         " ( ( (File.File = '') OR (File.File Is Null) ) OR ( (RelativePath.RelativePath = '') OR "
         "(RelativePath.RelativePath Is Null) ) OR ( (File.AlternateFile = '') OR (File.AlternateFile Is "
         "Null) ) ) "},
        {Param(kWidened, "Does not contain", "ab"),
         " ( ( (File.File NOT LIKE '*ab*') ) AND ( (RelativePath.RelativePath Is Null) OR "
         "(RelativePath.RelativePath NOT LIKE '*ab*') ) AND ( (File.AlternateFile Is Null) OR "
         "(File.AlternateFile NOT LIKE '*ab*') ) ) "},
        {Param(kName, "LIKE", "x"), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Fragment(c.param), c.fragment) << c.param.strOperator.toStdString();
}

TEST(QueryFieldConditionTest, NumbersAndSizes)
{
    const struct
    {
        SQueryFieldParam param;
        const char* fragment;
    } cases[] = {
        {Param(kSize, ">=", "1", "MB"), "(File.FileSizeDouble>=1048576.000000)"},
        {Param(kSize, "<", " 1.5 ", "KB"), "(File.FileSizeDouble<1536.000000)"},
        {Param(kSize, ">", "3", "GB"), "(File.FileSizeDouble>3221225472.000000)"},
        {Param(kSize, "<>", "77", "Bytes"), "(File.FileSizeDouble<>77)"},
        // An exact size names the two halves too, which have an index.
        {Param(kSize, "=", "5", "GB"), "((File.FileSizeDouble=5368709120.000000) AND (File.FileSizeHigh=1) "
                                       "AND (File.FileSize=1073741824))"},
        {Param(kSize, "=", "4294967295", "Bytes"),
         "((File.FileSizeDouble=4294967295) AND (File.FileSizeHigh=0) AND (File.FileSize=-1))"},
        {Param(kSize, "=", "0.5", "Bytes"), "(File.FileSizeDouble=0.5)"},
        {Param(kSize, ">=", "", "MB"), ""},
        {Param(kSize, ">=", "1; DROP TABLE File", "Bytes"),
         "error: Size: \"1; DROP TABLE File\" is not a number."},
        {Param(kSize, ">=", "inf", "KB"), "error: Size: \"inf\" is not a number."},
        {Param(kNumber, "<=", "-3"), "(Catalogue.CatalogueKeepPriority<=-3)"},
        {Param(kNumber, "=", "0x10"), "error: Priority: \"0x10\" is not a number."},
        {Param(kNumber, ">", ""), ""},
        {Param({QStringLiteral("Yes"), QStringLiteral("File.Ghost"), kFieldYesNo}, "=", "1"), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Fragment(c.param), c.fragment) << c.param.strValue.toStdString();

    const SConditionFragment all = CombinedCondition(
        {Param(kSize, ">=", "1", "KB"), Param(kName, "Contains", "a"), Param(kSize, "<", "", "KB")}, {});
    EXPECT_EQ(all.strFragment.toStdString(),
              "(File.FileSizeDouble>=1024.000000) AND ( (File.File LIKE '*a*') )");
    EXPECT_FALSE(CombinedCondition({Param(kName, "Contains", "a"), Param(kNumber, "=", "x")}, {}).IsValid());
}

TEST(QueryFieldConditionTest, DateRanges)
{
    SQueryFieldParam between = Param(kDate, "Between", "");
    between.dtFrom = QDateTime(QDate(2026, 3, 4), QTime(0, 0, 0));
    between.dtTo = QDateTime(QDate(2026, 3, 4), QTime(23, 59, 59));
    EXPECT_EQ(Fragment(between),
              "(File.LastModified >= #03/04/2026 00:00:00# AND File.LastModified <= #03/04/2026 "
              "23:59:59#)");
    SQueryFieldParam after = Param(kDate, "After", "");
    after.dtFrom = QDateTime(QDate(2025, 12, 31), QTime(9, 8, 7));
    EXPECT_EQ(Fragment(after), "(File.LastModified > #12/31/2025 09:08:07#)");
    after.strOperator = QStringLiteral("Before");
    EXPECT_EQ(Fragment(after), "(File.LastModified < #12/31/2025 09:08:07#)");
    after.dtFrom = QDateTime();
    EXPECT_EQ(Fragment(after), "error: Last Modified: the date is not valid.");

    // Wednesday 9 December 2026, 10:11:12.
    const QDateTime wednesday(QDate(2026, 12, 9), QTime(10, 11, 12));
    ASSERT_EQ(wednesday.date().dayOfWeek(), 3);
    EXPECT_EQ(Fragment(Param(kDate, "Beginning of the Last", "1", "Weeks"), wednesday),
              "(File.LastModified >= #11/29/2026 00:00:00# AND File.LastModified <= #12/09/2026 10:11:12#)");
    const struct
    {
        int count;
        const char* unit;
        bool beginning;
        QDateTime start;
    } starts[] = {
        {1, "Weeks", false, QDateTime(QDate(2026, 12, 2), QTime(10, 11, 12))},
        {90, "Minutes", true, QDateTime(QDate(2026, 12, 9), QTime(8, 41, 0))},
        {3, "Hours", true, QDateTime(QDate(2026, 12, 9), QTime(7, 0, 0))},
        {2, "Days", true, QDateTime(QDate(2026, 12, 7), QTime(0, 0, 0))},
        {2, "Days", false, QDateTime(QDate(2026, 12, 7), QTime(10, 11, 12))},
        // November (30) and October (31) before the current month.
        {2, "Months", false, QDateTime(QDate(2026, 10, 9), QTime(10, 11, 12))},
        {2, "Months", true, QDateTime(QDate(2026, 10, 1), QTime(0, 0, 0))},
        {1, "Years", true, QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0))},
        {1, "Years", false, QDateTime(QDate(2025, 12, 9), QTime(4, 11, 12))},
    };
    for (const auto& s : starts)
        EXPECT_EQ(RelativeDateStart(wednesday, s.count, QString::fromLatin1(s.unit), s.beginning), s.start)
            << s.count << s.unit << s.beginning;
    // February of a leap year counts 29 days: 31 March back over February gives 1 March.
    EXPECT_EQ(RelativeDateStart(QDateTime(QDate(2028, 3, 31), QTime(12, 0)), 1, "Months", false),
              QDateTime(QDate(2028, 3, 2), QTime(12, 0)));
    EXPECT_EQ(Fragment(Param(kDate, "In the Last", "many", "Days"), wednesday),
              "error: Last Modified: \"many\" is not a number.");
    EXPECT_EQ(Fragment(Param(kDate, "In the Last", "", "Days"), wednesday), "");
}

TEST(MagnetLinkTest, LinksInEveryOrderAndCase)
{
    const QString tth = QStringLiteral("LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ");
    const struct
    {
        const char* text;
        const char* name;
        qint64 size;
    } links[] = {
        {"magnet:?xt=urn:tree:tiger:LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ&xl=6&dn=My+Song+%28live%29.mp3",
         "My Song (live).mp3", 6},
        {"magnet:?xt=urn:tree:tiger:LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ&xl=10", "", 10},
        {"magnet:?dn=a%C3%A9%2&xl=3&xt=urn:tree:tiger:LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ", "a\xc3\xa9%2",
         3},
        {"  MAGNET:?XT=URN:TREE:TIGER:lwpnacqdbzryxw3vhjvcj64qbznghohhhzwclnq\n", "", -1},
        {"magnet:?xt=urn:tree:tiger:lwpnacqdbzryxw3vhjvcj64qbznghohhhzwclnq", "", -1},
        {"magnet:?xt.1=urn:sha1:ABC&xt.2=urn:tree:tiger/1024:LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ&dn=x",
         "x", -1},
    };
    for (const auto& l : links)
    {
        const std::optional<SMagnetLink> link = ParseMagnetLink(QString::fromUtf8(l.text));
        ASSERT_TRUE(link) << l.text;
        EXPECT_EQ(link->strTth, tth) << l.text;
        EXPECT_EQ(link->strName, QString::fromUtf8(l.name)) << l.text;
        EXPECT_EQ(link->nSize, l.size) << l.text;
    }
    for (const char* refused : {"", "LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ",
                                "magnet:?xt=urn:sha1:ABCDEF&dn=x", "magnet:?xt=urn:tree:tiger:SHORT&dn=x",
                                "http://x/?xt=urn:tree:tiger:"
                                "LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ"})
        EXPECT_FALSE(ParseMagnetLink(QString::fromUtf8(refused))) << refused;

    EXPECT_EQ(MagnetNameSearchText(QStringLiteral("--My_Song (live).mp3")),
              QStringLiteral("My\r\nSong\r\nlive\r\nmp3"));
    EXPECT_EQ(MagnetNameSearchText(QStringLiteral("...")), QString());

    const QString built = BuildMagnetLink(tth, 1234, QStringLiteral("a b&c=d'é.txt"));
    EXPECT_EQ(built,
              QStringLiteral("magnet:?xt=urn:tree:tiger:%1&xl=1234&dn=a%20b%26c%3Dd%27%C3%A9.txt").arg(tth));
    const std::optional<SMagnetLink> back = ParseMagnetLink(built);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->strName, QStringLiteral("a b&c=d'é.txt"));
    EXPECT_EQ(back->nSize, 1234);
}
