#include "platform/Unicode.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one scalar value starting at text[pos] and advances pos. A broken
// sequence yields U+FFFD and advances past its maximal valid prefix only.
char32_t DecodeOne(std::string_view text, size_t& pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2; value = lead & 0x1F; minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3; value = lead & 0x0F; minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4; value = lead & 0x07; minimum = 0x10000;
    } else {
        ++pos;
        return kReplacement;
    }
    size_t next = pos + 1;
    for (int i = 1; i < length; ++i, ++next) {
        if (next >= text.size() || !IsContinuation(static_cast<unsigned char>(text[next]))) {
            pos = next;
            return kReplacement;
        }
        value = (value << 6) | (static_cast<unsigned char>(text[next]) & 0x3F);
    }
    pos = next;
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return kReplacement;
    return value;
}

void AppendUtf8(std::string& out, char32_t value)
{
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        value = kReplacement;
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

} // namespace

std::wstring Utf8ToWide(std::string_view utf8)
{
    std::wstring wide;
    wide.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size())
        wide += static_cast<wchar_t>(DecodeOne(utf8, pos));
    return wide;
}

std::string WideToUtf8(std::wstring_view wide)
{
    static_assert(sizeof(wchar_t) == 4, "wide strings hold one code point per character");
    std::string utf8;
    utf8.reserve(wide.size() + wide.size() / 4);
    for (wchar_t ch : wide)
        AppendUtf8(utf8, static_cast<char32_t>(static_cast<std::uint32_t>(ch)));
    return utf8;
}
