#include "browser/RtfPlainText.h"

#include <gtest/gtest.h>

namespace
{

struct RtfCase
{
    const char* name;
    QString rtf;
    QString text;
};

} // namespace

TEST(RtfPlainText, ReadsTheTextAWordProcessorWouldShow)
{
    const RtfCase cases[] = {
        {"paragraphs, lines and tabs", QStringLiteral("{\\rtf1\\ansi Hello\\par World\\line next\\tab cell}"),
         QStringLiteral("Hello\nWorld\nnext\tcell")},
        {"raw line ends are not text", QStringLiteral("{\\rtf1 one\r\ntwo\nthree}"),
         QStringLiteral("onetwothree")},
        {"escaped line end is a paragraph", QStringLiteral("{\\rtf1 one\\\ntwo}"),
         QStringLiteral("one\ntwo")},
        {"tables are left out",
         QStringLiteral("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Times;}}"
                        "{\\colortbl ;\\red255\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}"
                        "{\\info{\\author Brevold}}\\viewkind4\\pard\\f0\\fs20 Body\\par}"),
         QStringLiteral("Body")},
        {"ignorable destinations",
         QStringLiteral("{\\rtf1{\\*\\generator Riched20 10.0;}{\\*\\unknownthing x}Seen}"),
         QStringLiteral("Seen")},
        {"field shows its result only",
         QStringLiteral(
             "{\\rtf1 Get it {\\field{\\*\\fldinst{HYPERLINK \"https://x/\"}}{\\fldrslt{here}}}.}"),
         QStringLiteral("Get it here.")},
        {"unstarred field instruction",
         QStringLiteral("{\\rtf1 {\\field{\\fldinst HYPERLINK x}{\\fldrslt y}}}"), QStringLiteral("y")},
        {"hex escapes in Windows-1252", QStringLiteral("{\\rtf1 caf\\'e9 \\'80 \\'93x\\'94 \\'AE}"),
         QString::fromUtf8("caf\u00e9 \u20ac \u201cx\u201d \u00ae")},
        {"raw high bytes in Windows-1252", QString::fromLatin1("{\\rtf1 \x93q\x94 \xe9}"),
         QString::fromUtf8("\u201cq\u201d \u00e9")},
        {"unicode with one replacement", QStringLiteral("{\\rtf1 \\u8364? euro}"),
         QString::fromUtf8("\u20ac euro")},
        {"unicode with two replacement escapes", QStringLiteral("{\\rtf1\\uc2\\u26085\\'93\\'fa end}"),
         QString::fromUtf8("\u65e5 end")},
        {"unicode without replacement", QStringLiteral("{\\rtf1\\uc0\\u26085 x}"),
         QString::fromUtf8("\u65e5x")},
        {"negative unicode, surrogate pair", QStringLiteral("{\\rtf1 \\u-10179?\\u-8704?!}"),
         QString::fromUtf8("\U0001F600!")},
        {"\\uc is per group", QStringLiteral("{\\rtf1 {\\uc0 a}\\u8364?b}"), QString::fromUtf8("a\u20acb")},
        {"symbols", QStringLiteral("{\\rtf1 a\\~b co\\-op x\\_y \\\\ \\{ \\}}"),
         QString::fromUtf8("a\u00a0b coop x\u2011y \\ { }")},
        {"typographic words",
         QStringLiteral(
             "{\\rtf1 \\lquote a\\rquote  \\ldblquote b\\rdblquote  c\\emdash d\\endash e\\bullet}"),
         QString::fromUtf8("\u2018a\u2019 \u201cb\u201d c\u2014d\u2013e\u2022")},
        {"one blank ends a control word", QStringLiteral("{\\rtf1\\b  bold\\b0}"), QStringLiteral(" bold")},
        {"binary data is skipped", QStringLiteral("{\\rtf1 x\\bin3 {{{y}"), QStringLiteral("xy")},
        {"picture is skipped", QStringLiteral("{\\rtf1 a{\\pict\\pngblip 89504e47}b}"), QStringLiteral("ab")},
        {"trailing blank space dropped", QStringLiteral("{\\rtf1 end\\par\\par  }"), QStringLiteral("end")},
        {"not RTF stays as it is", QStringLiteral("Version\r\n1.07 {x}\\par"),
         QStringLiteral("Version\r\n1.07 {x}\\par")},
    };
    for (const RtfCase& c : cases)
        EXPECT_EQ(RtfToPlainText(c.rtf).toStdString(), c.text.toStdString()) << c.name;
}

TEST(RtfPlainText, DamagedDocumentsGiveWhatCanBeRead)
{
    const RtfCase cases[] = {
        {"closing braces too many", QStringLiteral("{\\rtf1 unbalanced}}} text {{{"),
         QStringLiteral("unbalanced text")},
        {"never closed", QStringLiteral("{\\rtf1 {\\b open"), QStringLiteral("open")},
        {"cut after a backslash", QStringLiteral("{\\rtf1 end\\"), QStringLiteral("end")},
        {"cut inside a hex escape", QStringLiteral("{\\rtf1 end\\'4"), QStringLiteral("end")},
        {"bad hex escape", QStringLiteral("{\\rtf1 a\\'zzb}"), QStringLiteral("azzb")},
        {"huge parameter", QStringLiteral("{\\rtf1 \\fs999999999999999999999999 x}"), QStringLiteral("x")},
        {"huge binary length", QStringLiteral("{\\rtf1 x\\bin999999999999999999999 y}"), QStringLiteral("x")},
        {"unicode out of range", QStringLiteral("{\\rtf1\\uc0 \\u99999999 x}"), QStringLiteral("x")},
        {"endless control word", QStringLiteral("{\\rtf1 \\") + QString(100, u'a') + QStringLiteral(" x}"),
         QStringLiteral("x")},
    };
    for (const RtfCase& c : cases)
        EXPECT_EQ(RtfToPlainText(c.rtf).toStdString(), c.text.toStdString()) << c.name;

    // Deep nesting is a loop, not recursion.
    const QString deep = QStringLiteral("{\\rtf1 ") + QString(200000, u'{') + QStringLiteral("deep") +
                         QString(200000, u'}') + QStringLiteral("}");
    EXPECT_EQ(RtfToPlainText(deep), QStringLiteral("deep"));
}
