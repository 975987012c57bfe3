#include "platform/Unicode.h"

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Widens the leading ASCII bytes in blocks of 16 while a block has no byte
// with the high bit set; returns how many bytes it consumed (out advances).
size_t WidenAsciiRun(const char* text, size_t length, wchar_t*& out)
{
    size_t done = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (done + 16 <= length) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + done));
        if (_mm_movemask_epi8(bytes) != 0)
            break;
        const __m128i low = _mm_unpacklo_epi8(bytes, zero);
        const __m128i high = _mm_unpackhi_epi8(bytes, zero);
        auto* target = reinterpret_cast<__m128i*>(out);
        _mm_storeu_si128(target + 0, _mm_unpacklo_epi16(low, zero));
        _mm_storeu_si128(target + 1, _mm_unpackhi_epi16(low, zero));
        _mm_storeu_si128(target + 2, _mm_unpacklo_epi16(high, zero));
        _mm_storeu_si128(target + 3, _mm_unpackhi_epi16(high, zero));
        out += 16;
        done += 16;
    }
#endif
    return done;
}

} // namespace

namespace {

// Decodes into out, which has room for utf8.size() characters; returns the
// end of what was written.
wchar_t* DecodeInto(std::string_view utf8, wchar_t* out)
{
    size_t pos = 0;
    while (pos < utf8.size()) {
        // Feed texts are mostly ASCII: widen such runs without decoding.
        pos += WidenAsciiRun(utf8.data() + pos, utf8.size() - pos, out);
        while (pos < utf8.size() && static_cast<unsigned char>(utf8[pos]) < 0x80)
            *out++ = static_cast<wchar_t>(utf8[pos++]);
        if (pos >= utf8.size())
            break;
        // Well-formed two- and three-byte sequences inline; anything else
        // (four bytes, broken sequences) through the careful decoder.
        const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data()) + pos;
        const size_t left = utf8.size() - pos;
        if ((bytes[0] & 0xE0) == 0xC0 && bytes[0] >= 0xC2 && left >= 2 && IsContinuation(bytes[1])) {
            *out++ = static_cast<wchar_t>(((bytes[0] & 0x1F) << 6) | (bytes[1] & 0x3F));
            pos += 2;
            continue;
        }
        if ((bytes[0] & 0xF0) == 0xE0 && left >= 3 && IsContinuation(bytes[1]) && IsContinuation(bytes[2])) {
            const char32_t value = ((bytes[0] & 0x0F) << 12) | ((bytes[1] & 0x3F) << 6) | (bytes[2] & 0x3F);
            if (value >= 0x800 && (value < 0xD800 || value > 0xDFFF)) {
                *out++ = static_cast<wchar_t>(value);
                pos += 3;
                continue;
            }
        }
        *out++ = static_cast<wchar_t>(DecodeOne(utf8, pos));
    }
    return out;
}

} // namespace

std::wstring Utf8ToWide(std::string_view utf8)
{
    // Short texts (nearly all of a feed) decode into a reused buffer, so the
    // result is allocated once at its exact size and never zero-filled first.
    constexpr size_t kBufferLength = 16 * 1024;
    if (utf8.size() <= kBufferLength) {
        thread_local wchar_t buffer[kBufferLength];
        return std::wstring(buffer, DecodeInto(utf8, buffer));
    }
    std::wstring wide(utf8.size(), L'\0'); // never more characters than bytes
    wide.resize(static_cast<size_t>(DecodeInto(utf8, wide.data()) - wide.data()));
    return wide;
}

size_t Utf8ToWideInto(std::string_view utf8, wchar_t* out)
{
    return static_cast<size_t>(DecodeInto(utf8, out) - out);
}

bool IsValidUtf8(std::string_view bytes)
{
    size_t pos = 0;
    while (pos < bytes.size()) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        // DecodeOne answers U+FFFD for broken sequences but also for a
        // well-formed U+FFFD, which takes exactly three bytes.
        const size_t start = pos;
        if (DecodeOne(bytes, pos) == kReplacement && bytes.substr(start, pos - start) != "\xEF\xBF\xBD")
            return false;
    }
    return true;
}

std::string Windows1252ToUtf8(std::string_view bytes)
{
    // 0x80 to 0x9F; every other byte is the code point of its value.
    static constexpr char16_t kHighControls[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string utf8;
    utf8.reserve(bytes.size() + bytes.size() / 8);
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80)
            utf8 += ch;
        else
            AppendUtf8(utf8, byte < 0xA0 ? kHighControls[byte - 0x80] : byte);
    }
    return utf8;
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
