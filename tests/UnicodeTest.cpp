// Conversions between wide strings and UTF-8: every ill-formed sequence
// becomes U+FFFD without swallowing what follows, on the fast paths too.

#include <gtest/gtest.h>

#include "platform/Unicode.h"

TEST(Unicode, RoundTripsEveryPlaneAndLongAsciiRuns)
{
    const std::wstring text = L"plain ascii run longer than sixteen bytes, café Zürich 東京 \U0001F600 end";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(WideToUtf8(L"é東\U0001F600"), "\xC3\xA9\xE6\x9D\xB1\xF0\x9F\x98\x80");
    const std::string large(100000, 'a'); // past the reusable buffer
    EXPECT_EQ(Utf8ToWide(large), std::wstring(100000, L'a'));
    EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(Unicode, IllFormedInputBecomesReplacementCharacters)
{
    const std::pair<std::string, std::wstring> cases[] = {
        {"a\x80" "b", L"a\uFFFDb"},                     // stray continuation byte
        {"a\xC3", L"a\uFFFD"},                           // truncated at the end
        {"\xC3(", L"\uFFFD("},                           // missing continuation
        {"\xC0\xAF", L"\uFFFD"},                         // overlong "/" (two-byte form)
        {"\xE0\x80\xAF!", L"\uFFFD!"},                   // overlong (three-byte form)
        {"\xED\xA0\x80x", L"\uFFFDx"},                   // an encoded surrogate
        {"\xF4\x90\x80\x80", L"\uFFFD"},                 // past U+10FFFF
        {"\xFF\xFE", L"\uFFFD\uFFFD"},                   // never valid
        {"0123456789abcdef\xE6\x9D\xB1", L"0123456789abcdef\u6771"},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(Utf8ToWide(bytes), expected) << bytes.size();
}

TEST(Unicode, WideValuesOutsideUnicodeBecomeReplacementCharacters)
{
    std::wstring text = L"x";
    text += static_cast<wchar_t>(0xD800);
    text += static_cast<wchar_t>(0x110000);
    EXPECT_EQ(WideToUtf8(text), "x\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Unicode, TellsWellFormedUtf8FromEverythingElse)
{
    EXPECT_TRUE(IsValidUtf8("plain, café, 東京, \U0001F600, and a real \uFFFD"));
    EXPECT_FALSE(IsValidUtf8("Caf\xE9"));
    EXPECT_FALSE(IsValidUtf8("\xE9\x92"));      // cut short
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // a surrogate
}

TEST(Unicode, ConvertsWindows1252WithoutFailingOnItsUndefinedBytes)
{
    EXPECT_EQ(Windows1252ToUtf8("Caf\xE9 \x80\x93\x94\x9F \x81\x8D \xA0\xFF ok"), "Café €“”Ÿ \u0081\u008D \u00A0ÿ ok");
}
