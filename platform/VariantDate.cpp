#include "platform/VariantDate.h"

#include <cstdio>
#include <cwctype>

namespace {

class CTextCursor {
public:
    explicit CTextCursor(std::wstring_view text) : m_text(text) {}

    void SkipSpaces()
    {
        while (m_pos < m_text.size() && std::iswspace(m_text[m_pos]))
            ++m_pos;
    }
    bool AtEnd() const { return m_pos >= m_text.size(); }
    bool Take(wchar_t ch)
    {
        if (m_pos < m_text.size() && m_text[m_pos] == ch) {
            ++m_pos;
            return true;
        }
        return false;
    }
    wchar_t Peek() const { return m_pos < m_text.size() ? m_text[m_pos] : L'\0'; }
    // Reads between minDigits and maxDigits decimal digits.
    bool Number(int minDigits, int maxDigits, int& value)
    {
        int digits = 0;
        value = 0;
        while (digits < maxDigits && m_pos < m_text.size() && m_text[m_pos] >= L'0' && m_text[m_pos] <= L'9') {
            value = value * 10 + (m_text[m_pos] - L'0');
            ++m_pos;
            ++digits;
        }
        return digits >= minDigits;
    }
    size_t Position() const { return m_pos; }

private:
    std::wstring_view m_text;
    size_t m_pos = 0;
};

} // namespace

bool VarDateFromStr(std::wstring_view text, CDateTime& value)
{
    CTextCursor cursor(text);
    cursor.SkipSpaces();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!cursor.Number(4, 4, year))
        return false;
    const wchar_t separator = cursor.Peek();
    if ((separator != L'-' && separator != L'/') || !cursor.Take(separator) || !cursor.Number(1, 2, month)
        || !cursor.Take(separator) || !cursor.Number(1, 2, day))
        return false;
    const size_t beforeTime = cursor.Position();
    cursor.SkipSpaces();
    if (!cursor.AtEnd()) {
        if (cursor.Position() == beforeTime) // the time must be set apart by white space
            return false;
        if (!cursor.Number(1, 2, hour) || !cursor.Take(L':') || !cursor.Number(2, 2, minute))
            return false;
        if (cursor.Take(L':')) {
            if (!cursor.Number(2, 2, second))
                return false;
            if (cursor.Take(L'.')) {
                int fraction = 0;
                const size_t start = cursor.Position();
                if (!cursor.Number(1, 3, fraction))
                    return false;
                for (size_t digits = cursor.Position() - start; digits < 3; ++digits)
                    fraction *= 10;
                millisecond = fraction;
                while (std::iswdigit(cursor.Peek())) // finer digits are dropped
                    cursor.Take(cursor.Peek());
            }
        }
        cursor.SkipSpaces();
        if (!cursor.AtEnd())
            return false;
    }
    const CDateTime parsed = CDateTime::FromParts(year, month, day, hour, minute, second, millisecond);
    if (!parsed.IsValid())
        return false;
    value = parsed;
    return true;
}

std::wstring VarBstrFromDate(const CDateTime& value)
{
    if (value.GetStatus() == DateTimeStatus::Null)
        return L"";
    CSystemTime st;
    if (!value.GetAsSystemTime(st))
        return L"Invalid DateTime";
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond);
    return buffer;
}
