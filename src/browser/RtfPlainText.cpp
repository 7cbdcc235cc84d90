#include "browser/RtfPlainText.h"

#include <QStringView>

#include <algorithm>
#include <array>
#include <vector>

namespace
{

// Windows-1252 from 0x80 to 0x9F; the rest of the code page is Latin-1. The five holes keep
// their C1 code, as Windows itself maps them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(unsigned byte)
{
    return byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : char16_t(byte);
}

// Destinations whose content is never shown as body text.
bool IsHiddenDestination(QStringView word)
{
    // Each name between blanks, so that a word is found only whole.
    static const QString kHidden = QStringLiteral(
        " annotation atnauthor atnid bkmkend bkmkstart colortbl colorschememapping datastore filetbl"
        " fldinst fonttbl footer footerf footerl footerr footnote generator header headerf headerl"
        " headerr info latentstyles listoverridetable listtable object objdata pgdsctbl pict revtbl"
        " rsidtbl stylesheet tc themedata txe xe xmlnstbl ");
    return !word.isEmpty() && kHidden.contains(QLatin1Char(' ') + word.toString() + QLatin1Char(' '));
}

// What a control word stands for in the text, if anything.
QStringView TextOfWord(QStringView word)
{
    struct Entry
    {
        const char* word;
        const char16_t* text;
    };
    static const Entry kWords[] = {{"par", u"\n"},           {"line", u"\n"},          {"sect", u"\n"},
                                   {"page", u"\n"},          {"row", u"\n"},           {"cell", u"\t"},
                                   {"tab", u"\t"},           {"emdash", u"\u2014"},    {"endash", u"\u2013"},
                                   {"bullet", u"\u2022"},    {"lquote", u"\u2018"},    {"rquote", u"\u2019"},
                                   {"ldblquote", u"\u201C"}, {"rdblquote", u"\u201D"}, {"emspace", u" "},
                                   {"enspace", u" "},        {"qmspace", u" "}};
    for (const Entry& e : kWords)
        if (word == QLatin1StringView(e.word))
            return QStringView(e.text);
    return {};
}

struct GroupState
{
    bool hidden = false;
    int unicodeSkip = 1;
};

class CRtfReader final
{
public:
    explicit CRtfReader(QStringView rtf) : m_rtf(rtf) {}

    QString Read()
    {
        m_groups.push_back({});
        while (m_pos < m_rtf.size())
        {
            const char16_t c = m_rtf[m_pos++].unicode();
            switch (c)
            {
            case u'{':
                m_groups.push_back(m_groups.back());
                m_pendingSkip = 0;
                break;
            case u'}':
                // A brace too many closes nothing: the outermost state stays.
                if (m_groups.size() > 1)
                    m_groups.pop_back();
                m_pendingSkip = 0;
                break;
            case u'\\':
                ReadControl();
                break;
            case u'\r':
            case u'\n':
                break;
            default:
                Emit(FromCp1252(c));
            }
        }
        while (!m_text.isEmpty() && m_text.back().isSpace())
            m_text.chop(1);
        return m_text;
    }

private:
    void Emit(char16_t c)
    {
        if (m_pendingSkip > 0)
        {
            --m_pendingSkip;
            return;
        }
        if (!m_groups.back().hidden)
            m_text.append(QChar(c));
    }
    void Emit(QStringView text)
    {
        for (QChar c : text)
            Emit(c.unicode());
    }

    static bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
    static int HexValue(char16_t c)
    {
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (c >= u'a' && c <= u'f')
            return c - u'a' + 10;
        if (c >= u'A' && c <= u'F')
            return c - u'A' + 10;
        return -1;
    }

    void ReadControl()
    {
        if (m_pos >= m_rtf.size())
            return;
        const char16_t c = m_rtf[m_pos].unicode();
        if (!IsAsciiLetter(c))
        {
            ++m_pos;
            ReadSymbol(c);
            return;
        }
        const qsizetype start = m_pos;
        while (m_pos < m_rtf.size() && IsAsciiLetter(m_rtf[m_pos].unicode()))
            ++m_pos;
        const QStringView word = m_rtf.sliced(start, m_pos - start);

        bool hasParameter = false;
        bool negative = false;
        long long parameter = 0;
        if (m_pos < m_rtf.size() && m_rtf[m_pos] == u'-')
        {
            negative = true;
            ++m_pos;
        }
        while (m_pos < m_rtf.size() && m_rtf[m_pos].isDigit() && m_rtf[m_pos].unicode() < 128)
        {
            hasParameter = true;
            // Beyond any meaningful value; the cap keeps a run of digits from overflowing.
            parameter = std::min<long long>(parameter * 10 + (m_rtf[m_pos].unicode() - u'0'), 1LL << 40);
            ++m_pos;
        }
        if (negative)
            parameter = -parameter;
        // One blank ends a control word and belongs to it.
        if (m_pos < m_rtf.size() && m_rtf[m_pos] == u' ')
            ++m_pos;
        DoWord(word, hasParameter, parameter);
    }

    void ReadSymbol(char16_t c)
    {
        switch (c)
        {
        case u'\\':
        case u'{':
        case u'}':
            Emit(c);
            break;
        case u'\'':
        {
            const int high = m_pos < m_rtf.size() ? HexValue(m_rtf[m_pos].unicode()) : -1;
            const int low = m_pos + 1 < m_rtf.size() ? HexValue(m_rtf[m_pos + 1].unicode()) : -1;
            if (high < 0 || low < 0)
            {
                // A broken escape shows nothing, and its one hex digit goes with it.
                m_pos += high < 0 ? 0 : 1;
                return;
            }
            m_pos += 2;
            Emit(FromCp1252(unsigned(high * 16 + low)));
            break;
        }
        case u'~':
            Emit(u'\u00A0');
            break;
        case u'_':
            Emit(u'\u2011');
            break;
        case u'*':
            m_groups.back().hidden = true;
            break;
        case u'\r':
        case u'\n':
            Emit(u'\n');
            break;
        case u'\t':
            Emit(u'\t');
            break;
        default:
            // \- (optional hyphen), \| and the rest show nothing.
            break;
        }
    }

    void DoWord(QStringView word, bool hasParameter, long long parameter)
    {
        if (word == u"u" && hasParameter)
        {
            // Values above 32767 are written negative; a surrogate pair comes as two \u.
            const long long unit = parameter < 0 ? parameter + 65536 : parameter;
            if (unit >= 0 && unit <= 0xFFFF)
                Emit(char16_t(unit));
            m_pendingSkip = m_groups.back().unicodeSkip;
            return;
        }
        if (word == u"uc")
        {
            m_groups.back().unicodeSkip = int(std::clamp<long long>(parameter, 0, 16));
            return;
        }
        if (word == u"bin")
        {
            // Binary data of the given length follows; it is never text.
            m_pos = std::min<qsizetype>(m_rtf.size(), m_pos + qsizetype(std::max<long long>(parameter, 0)));
            return;
        }
        if (IsHiddenDestination(word))
        {
            m_groups.back().hidden = true;
            return;
        }
        const QStringView text = TextOfWord(word);
        if (!text.isEmpty())
            Emit(text);
        else if (m_pendingSkip > 0)
            --m_pendingSkip;
    }

    QStringView m_rtf;
    qsizetype m_pos = 0;
    std::vector<GroupState> m_groups;
    int m_pendingSkip = 0;
    QString m_text;
};

} // namespace

QString RtfToPlainText(const QString& rtf)
{
    if (!rtf.startsWith(QLatin1StringView("{\\rtf")))
        return rtf;
    return CRtfReader(rtf).Read();
}
