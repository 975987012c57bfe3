#include "content/TextUtil.h"

#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

void ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to)
{
    size_t pos = text.find(from);
    if (pos == std::wstring::npos)
        return;
    std::wstring result;
    result.reserve(text.size());
    size_t start = 0;
    while (pos != std::wstring::npos) {
        result.append(text, start, pos - start);
        result.append(to);
        start = pos + from.size();
        pos = text.find(from, start);
    }
    result.append(text, start, std::wstring::npos);
    text.swap(result);
}

bool IsTrimmedSpace(wchar_t ch)
{
    return ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n' || ch == L'\v' || ch == L'\f';
}

} // namespace

std::wstring& DecodeBasicEntities(std::wstring& text)
{
    if (text.find(L'&') == std::wstring::npos)
        return text;
    ReplaceAll(text, L"&gt;", L">");
    ReplaceAll(text, L"&lt;", L"<");
    ReplaceAll(text, L"&amp;", L"&");
    ReplaceAll(text, L"&nbsp;", L" ");
    ReplaceAll(text, L"&quot;", L"\"");
    return text;
}

std::wstring StripMarkup(const std::wstring& text)
{
    size_t open = text.find(L'<');
    if (open == std::wstring::npos)
        return text;
    std::wstring result;
    result.reserve(text.size());
    size_t start = 0;
    while (open != std::wstring::npos) {
        const size_t close = text.find(L'>', open + 1);
        if (close == std::wstring::npos)
            break; // unclosed: the rest, "<" included, is copied below
        result.append(text, start, open - start);
        start = close + 1;
        open = text.find(L'<', start);
    }
    result.append(text, start, std::wstring::npos);
    return result;
}

std::wstring Trim(std::wstring_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsTrimmedSpace(text[begin]))
        ++begin;
    while (end > begin && IsTrimmedSpace(text[end - 1]))
        --end;
    return std::wstring(text.substr(begin, end - begin));
}

bool EqualsNoCase(std::wstring_view left, std::wstring_view right)
{
    if (left.size() != right.size())
        return false;
    for (size_t i = 0; i < left.size(); ++i) {
        if (left[i] != right[i] && std::towlower(left[i]) != std::towlower(right[i]))
            return false;
    }
    return true;
}

std::wstring HostOfUrl(std::wstring_view url)
{
    const size_t slashes = url.find(L"//");
    if (slashes == std::wstring_view::npos)
        return L"";
    // Before the authority only a scheme may stand ("https:"), or nothing.
    const std::wstring_view scheme = url.substr(0, slashes);
    if (!scheme.empty() && (scheme.back() != L':' || scheme.find_first_of(L"/?#") != std::wstring_view::npos))
        return L"";
    std::wstring_view authority = url.substr(slashes + 2);
    authority = authority.substr(0, authority.find_first_of(L"/?#"));
    const size_t at = authority.rfind(L'@');
    if (at != std::wstring_view::npos)
        authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == L'[')
        return std::wstring(authority.substr(0, authority.find(L']') + 1));
    return Trim(authority.substr(0, authority.find(L':')));
}

std::wstring FormatText(const wchar_t* format, ...)
{
    // The texts write %s for wide strings; the C library wants %ls.
    std::wstring wideFormat;
    for (const wchar_t* p = format; *p; ++p) {
        wideFormat += *p;
        if (*p == L'%' && p[1] == L's')
            wideFormat += L'l';
        else if (*p == L'%' && p[1] == L'%')
            wideFormat += *++p;
    }
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        const int written = std::vswprintf(buffer.data(), buffer.size(), wideFormat.c_str(), args);
        va_end(args);
        if (written >= 0 && static_cast<size_t>(written) < buffer.size())
            return std::wstring(buffer.data(), static_cast<size_t>(written));
        if (buffer.size() > (1u << 24))
            return std::wstring(format); // cannot happen for the texts it serves
        buffer.resize(buffer.size() * 4);
    }
}
