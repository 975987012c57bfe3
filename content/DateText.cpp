#include "content/DateText.h"

#include <cwchar>
#include <cwctype>
#include <array>

#include "platform/Clock.h"
#include "platform/VariantDate.h"

namespace {

const wchar_t* const kMonthNames[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                      L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
const wchar_t* const kDayNames[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};

// 1..12 when the first three letters name a month, else 0. Month names
// are ASCII: other letters are no month, whatever their case.
int MonthFromWord(std::wstring_view word)
{
    if (word.size() < 3)
        return 0;
    const auto lower = [](wchar_t ch) { return ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch + (L'a' - L'A')) : ch; };
    const wchar_t first = lower(word[0]), second = lower(word[1]), third = lower(word[2]);
    for (int month = 0; month < 12; ++month) {
        const wchar_t* name = kMonthNames[month];
        if (first == lower(name[0]) && second == name[1] && third == name[2])
            return month + 1;
    }
    return 0;
}

// The decimal value of the leading digits, 0 when there are none. Capped well
// above any calendar field so that long digit runs cannot overflow.
int LeadingNumber(std::wstring_view text)
{
    int value = 0;
    for (wchar_t ch : text) {
        if (ch < L'0' || ch > L'9')
            break;
        value = value > 1000000 ? value : value * 10 + (ch - L'0');
    }
    return value;
}

size_t LeadingDigitCount(std::wstring_view text)
{
    size_t count = 0;
    while (count < text.size() && text[count] >= L'0' && text[count] <= L'9')
        ++count;
    return count;
}

// RFC 2822: 00 to 49 are 2000 to 2049, 50 to 99 are 1950 to 1999.
int TwoDigitYear(int year) { return year < 50 ? 2000 + year : 1900 + year; }

// prefix in capitals; zone names are ASCII.
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const wchar_t ch = text[i] >= L'a' && text[i] <= L'z' ? text[i] - (L'a' - L'A') : text[i];
        if (ch != prefix[i])
            return false;
    }
    return true;
}

// A W3C/ISO 8601 date ("2004-09-06"), alone or with a time and zone in that
// form ("T16:45:30Z", " 16:45:30+02:00"): nothing but digits and the
// characters of times and zones after the date.
bool IsIsoDateText(std::wstring_view text)
{
    if (text.size() < 10)
        return false;
    for (size_t i = 0; i < 10; ++i) {
        const bool separator = i == 4 || i == 7;
        if (separator ? text[i] != L'-' : (text[i] < L'0' || text[i] > L'9'))
            return false;
    }
    for (const wchar_t ch : text.substr(10)) {
        if ((ch < L'0' || ch > L'9') && std::wstring_view(L"T Z+-:.,").find(ch) == std::wstring_view::npos)
            return false;
    }
    return true;
}

struct CDateToken {
    std::wstring_view text;
    bool afterHyphen = false; // the separator just before it was "-"
    bool IsWord() const { return std::iswalpha(text[0]) != 0; }
    bool IsWord(const wchar_t* word) const
    {
        if (text.size() != std::wcslen(word))
            return false;
        for (size_t i = 0; i < text.size(); ++i) {
            if (std::towupper(text[i]) != static_cast<wint_t>(word[i]))
                return false;
        }
        return true;
    }
};

// The tokens of one date text, held without allocating: the parser only
// reads texts of at most 99 characters, which split into at most 50 tokens.
struct CDateTokens {
    static constexpr size_t kCapacity = 50;
    std::array<CDateToken, kCapacity> tokens;
    size_t count = 0;
    const CDateToken* begin() const { return tokens.data(); }
    const CDateToken* end() const { return tokens.data() + count; }
};

// Splits at " -:," into views of text, which must outlive the tokens.
CDateTokens Tokenize(std::wstring_view text)
{
    CDateTokens result;
    size_t start = 0;
    bool afterHyphen = false;
    for (size_t pos = 0; pos <= text.size() && result.count < CDateTokens::kCapacity; ++pos) {
        const wchar_t ch = pos < text.size() ? text[pos] : L' ';
        if (ch != L' ' && ch != L'-' && ch != L':' && ch != L',')
            continue;
        if (pos > start)
            result.tokens[result.count++] = {text.substr(start, pos - start), afterHyphen};
        afterHyphen = ch == L'-';
        start = pos + 1;
    }
    return result;
}

enum class DateOrder { DayFirst, MonthFirst, YearFirst };

// The reader's own date parser: fields by position, in the order the first
// field selects (day, month name or year first), then an optional seconds
// field and a zone.
class CDateTextParser {
public:
    // False when the text is rejected; otherwise the fields are filled
    // (they may still not form a valid date).
    bool Parse(const CDateTokens& tokens)
    {
        int position = 0;
        for (const CDateToken& token : tokens) {
            if (position >= 5) {
                if (ReadTail(token))
                    break;
                continue;
            }
            const bool word = token.IsWord();
            const int number = LeadingNumber(token.text);
            switch (position) {
            case 0:
                if (word) {
                    const int month = MonthFromWord(token.text);
                    if (month == 0)
                        continue; // a weekday: the next token is the first field again
                    m_month = month;
                    m_order = DateOrder::MonthFirst;
                } else if (number > 100) {
                    m_year = number;
                    m_order = DateOrder::YearFirst;
                } else {
                    m_day = number;
                }
                break;
            case 1:
                ReadSecondField(token, word, number);
                break;
            case 2:
                if (word)
                    return false;
                if (m_order == DateOrder::YearFirst)
                    m_day = number;
                else
                    m_year = LeadingDigitCount(token.text) == 2 ? TwoDigitYear(number) : number;
                break;
            case 3:
                if (word) {
                    // A meridiem marker before the hour; the hour follows.
                    if (token.IsWord(L"PM"))
                        m_meridiem = Meridiem::Pm;
                    else if (token.IsWord(L"AM"))
                        m_meridiem = Meridiem::Am;
                    else
                        return false;
                    continue;
                }
                m_hour = number;
                break;
            case 4:
                if (word)
                    return false;
                m_minute = number;
                break;
            }
            ++position;
        }
        return true;
    }

    // The parsed instant in UTC, or an invalid value.
    CDateTime ToUtc() const
    {
        int hour = m_hour;
        if (m_meridiem == Meridiem::Pm && hour < 12)
            hour += 12;
        else if (m_meridiem == Meridiem::Am && hour == 12)
            hour = 0;
        const CDateTime written = CDateTime::FromParts(m_year, m_month, m_day, hour, m_minute, m_second);
        if (!written.IsValid())
            return written;
        const double zone = HoursMinutesSpan(m_zoneHours, m_zoneMinutes);
        return written.AddDays(m_zoneSign == L'-' ? zone : -zone);
    }

private:
    enum class Meridiem { None, Am, Pm };

    void ReadSecondField(const CDateToken& token, bool word, int number)
    {
        switch (m_order) {
        case DateOrder::DayFirst:
            if (word) {
                const int month = MonthFromWord(token.text);
                m_month = month == 0 ? -1 : month;
            } else {
                m_day = number; // a numeric month cannot be told from a day here
            }
            break;
        case DateOrder::MonthFirst:
            if (word && MonthFromWord(token.text) != 0)
                m_month = MonthFromWord(token.text);
            else
                m_day = number;
            break;
        case DateOrder::YearFirst:
            m_month = word ? MonthFromWord(token.text) : number;
            break;
        }
    }

    // Fields after the minutes: seconds when a plain number comes first, then
    // the zone. A zone is a name (below), a signed number ("+0900", "-0500";
    // the hyphen also separates tokens, so it is remembered on the token) or,
    // after the seconds, any number read as sign character, two hour digits
    // and two minute digits. A zone with only its hours ("+09" of "+09:00")
    // takes its minutes from the next number. A meridiem marker may come
    // before the zone. True once the zone is complete.
    bool ReadTail(const CDateToken& token)
    {
        // "04:42 PM", "04:42:00 PM": a 12-hour time, whose zone may follow.
        if (m_meridiem == Meridiem::None && !m_zoneMinutesPending && (token.IsWord(L"PM") || token.IsWord(L"AM"))) {
            m_meridiem = token.IsWord(L"PM") ? Meridiem::Pm : Meridiem::Am;
            return false;
        }
        if (m_zoneMinutesPending) {
            if (!token.IsWord())
                m_zoneMinutes = LeadingNumber(token.text);
            return true;
        }
        if (m_zoneOffsetMayFollow) {
            // "GMT" alone, or "GMT-0500", which the hyphen split in two.
            m_zoneOffsetMayFollow = false;
            if (!token.IsWord() && (token.text[0] == L'+' || token.afterHyphen))
                return ReadSignedZone(token.text, token.afterHyphen);
            return true;
        }
        if (token.IsWord())
            return ReadZoneName(token.text);
        std::wstring_view text = token.text;
        if (text[0] == L'+' || token.afterHyphen)
            return ReadSignedZone(text, token.afterHyphen);
        if (!m_haveSeconds) {
            m_second = LeadingNumber(text);
            m_haveSeconds = true;
            return false;
        }
        m_zoneSign = text[0];
        m_zoneHours = text.size() > 1 ? LeadingNumber(text.substr(1, 2)) : 0;
        m_zoneMinutes = text.size() > 3 ? LeadingNumber(text.substr(3, 2)) : 0;
        return true;
    }

    // "+0900", "+09" (its minutes may follow), "0500" after a hyphen.
    bool ReadSignedZone(std::wstring_view text, bool negative)
    {
        m_zoneSign = negative ? L'-' : L'+';
        if (!text.empty() && text[0] == L'+')
            text.remove_prefix(1);
        const size_t digits = LeadingDigitCount(text);
        m_zoneHours = LeadingNumber(text.substr(0, 2));
        if (digits > 2) {
            m_zoneMinutes = LeadingNumber(text.substr(2, 2));
            return true;
        }
        m_zoneMinutesPending = true;
        return false;
    }

    // The zone names of RFC 822: UT, GMT (also UTC) with an optional offset
    // ("GMT+0200"), the North American zones and the military letters, the
    // latter at their true offsets (RFC 822 printed their signs reversed,
    // RFC 1123 says). Any other word (an unknown abbreviation) counts as
    // offset zero.
    bool ReadZoneName(std::wstring_view word)
    {
        for (const wchar_t* universal : {L"UTC", L"GMT", L"UT"}) {
            const size_t length = std::wcslen(universal);
            if (word.size() >= length && StartsWithNoCase(word, universal)) {
                const std::wstring_view offset = word.substr(length);
                if (offset.empty()) {
                    m_zoneOffsetMayFollow = true;
                    return false;
                }
                return offset[0] == L'+' ? ReadSignedZone(offset, false) : true;
            }
        }
        struct CZoneName {
            const wchar_t* name;
            int hours;
        };
        static constexpr CZoneName kNorthAmerican[] = {{L"EST", -5}, {L"EDT", -4}, {L"CST", -6}, {L"CDT", -5},
                                                       {L"MST", -7}, {L"MDT", -6}, {L"PST", -8}, {L"PDT", -7}};
        int hours = 0;
        for (const CZoneName& zone : kNorthAmerican) {
            if (word.size() == 3 && StartsWithNoCase(word, zone.name))
                hours = zone.hours;
        }
        if (word.size() == 1) {
            const wchar_t letter = static_cast<wchar_t>(std::towupper(word[0]));
            if (letter >= L'A' && letter <= L'I')
                hours = letter - L'A' + 1;
            else if (letter >= L'K' && letter <= L'M')
                hours = letter - L'K' + 10;
            else if (letter >= L'N' && letter <= L'Y')
                hours = -(letter - L'N' + 1);
        }
        m_zoneSign = hours < 0 ? L'-' : L'+';
        m_zoneHours = hours < 0 ? -hours : hours;
        m_zoneMinutes = 0;
        return true;
    }

    DateOrder m_order = DateOrder::DayFirst;
    int m_year = 0, m_month = 0, m_day = 0;
    int m_hour = 0, m_minute = 0, m_second = 0;
    bool m_haveSeconds = false;
    Meridiem m_meridiem = Meridiem::None;
    wchar_t m_zoneSign = L'+';
    int m_zoneHours = 0, m_zoneMinutes = 0;
    bool m_zoneMinutesPending = false;
    bool m_zoneOffsetMayFollow = false;
};

CDateTime UtcToLocal(const CDateTime& utc)
{
    CSystemTime utcTime, localTime;
    if (!utc.GetAsSystemTime(utcTime) || !UtcToLocalTime(utcTime, localTime))
        return CDateTime::MakeInvalid();
    return CDateTime::FromSystemTime(localTime);
}

void AppendNumber(std::wstring& out, int value, int width)
{
    std::wstring digits = std::to_wstring(value);
    if (digits.size() < static_cast<size_t>(width))
        out.append(width - digits.size(), L'0');
    out += digits;
}

// The platform conversion, then the positional parser.
CDateTime ReadDateText(std::wstring_view text)
{
    CDateTime asWritten;
    if (VarDateFromStr(text, asWritten))
        return asWritten;
    if (text.size() >= 5 && text.size() <= 99) {
        CDateTextParser parser;
        if (parser.Parse(Tokenize(text))) {
            const CDateTime utc = parser.ToUtc();
            const CDateTime local = utc.IsValid() ? UtcToLocal(utc) : utc;
            if (local.IsValid())
                return local;
        }
    }
    // Unreadable: the current local time keeps the item usable and sorted
    // among the newest.
    return CDateTime::GetCurrentTime();
}

} // namespace

CDateTime ParseDateText(std::wstring_view text)
{
    // Feeds put W3C dates where RFC 822 ones belong (an RSS pubDate); the
    // positional parser would read their "T" and glued zones wrongly.
    if (IsIsoDateText(text)) {
        if (const auto normalized = NormalizeW3cDate(text))
            return ReadDateText(*normalized);
    }
    return ReadDateText(text);
}

std::optional<std::wstring> NormalizeW3cDate(std::wstring_view text)
{
    if (text.size() < 3)
        return std::nullopt;
    std::wstring result;
    result.reserve(text.size() + 6);
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t ch = text[i];
        if (ch == L'T')
            result += L' ';
        else if (ch == L'Z' && i > 0 && std::iswdigit(text[i - 1]))
            result += L"+00:00"; // the UTC designator: keep it a zone, not a local time
        else if (ch == L'Z')
            result += L' ';
        else
            result += ch;
    }
    const size_t plus = result.find(L'+');
    if (plus != std::wstring::npos)
        result.insert(plus, 1, L' ');
    return result;
}

void ReadW3cDate(std::wstring_view text, CDateTime& target)
{
    if (const auto normalized = NormalizeW3cDate(text))
        target = ReadDateText(*normalized);
}

std::wstring FormatSystemTime(const CSystemTime& time, std::wstring_view format)
{
    std::wstring out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        switch (format[++i]) {
        case L'a': out += kDayNames[((time.wDayOfWeek % 7) + 7) % 7]; break;
        case L'b': out += kMonthNames[(time.wMonth + 11) % 12]; break;
        case L'd': AppendNumber(out, time.wDay, 2); break;
        case L'm': AppendNumber(out, time.wMonth, 2); break;
        case L'y': AppendNumber(out, time.wYear % 100, 2); break;
        case L'Y': AppendNumber(out, time.wYear, 4); break;
        case L'H': AppendNumber(out, time.wHour, 2); break;
        case L'M': AppendNumber(out, time.wMinute, 2); break;
        case L'S': AppendNumber(out, time.wSecond, 2); break;
        case L'%': out += L'%'; break;
        default:
            out += L'%';
            out += format[i];
        }
    }
    return out;
}

std::wstring FormatDateTime(const CDateTime& value, std::wstring_view format)
{
    CSystemTime time;
    return value.GetAsSystemTime(time) ? FormatSystemTime(time, format) : std::wstring();
}

std::wstring FormatListDate(const CDateTime& value)
{
    CSystemTime time;
    if (!value.IsValid() || static_cast<long long>(value.m_dt) <= 0 || !value.GetAsSystemTime(time))
        return L"";
    const CSystemTime today = GetLocalTime();
    if (time.wYear == today.wYear && time.wMonth == today.wMonth && time.wDay == today.wDay)
        return FormatSystemTime(time, L"%H:%M");
    return FormatSystemTime(time, kListDateFormat);
}
