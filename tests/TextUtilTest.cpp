// Entity decoding and markup stripping for titles.

#include <gtest/gtest.h>

#include "content/TextUtil.h"

namespace {
std::wstring Decode(std::wstring text) { return DecodeBasicEntities(text); }
} // namespace

TEST(DecodeBasicEntities, DecodesTheFiveEntitiesInTheirFixedOrder)
{
    EXPECT_EQ(Decode(L"a &lt;b&gt; &amp; x&nbsp;y"), L"a <b> & x y");
    EXPECT_EQ(Decode(L"&quot;quoted&quot;"), L"\"quoted\"");
    // "&amp;" goes third: a doubly escaped quote ends decoded, a "<" does not.
    EXPECT_EQ(Decode(L"&amp;quot;"), L"\"");
    EXPECT_EQ(Decode(L"&amp;lt;"), L"&lt;");
    EXPECT_EQ(Decode(L"AT&amp;T"), L"AT&T");
}

TEST(DecodeBasicEntities, LeavesEverythingElseAlone)
{
    EXPECT_EQ(Decode(L"&LT;&Amp;&GT;&NBSP;&QUOT;"), L"&LT;&Amp;&GT;&NBSP;&QUOT;");
    EXPECT_EQ(Decode(L"&#60;&eacute;&apos;& amp;"), L"&#60;&eacute;&apos;& amp;");
    EXPECT_EQ(Decode(L""), L"");
    std::wstring text = L"x &gt; y";
    EXPECT_EQ(&DecodeBasicEntities(text), &text); // in place
    EXPECT_EQ(text, L"x > y");
}

TEST(StripMarkup, RemovesTagsAndKeepsTheText)
{
    EXPECT_EQ(StripMarkup(L"<p>Hello <b>world</b></p>"), L"Hello world");
    EXPECT_EQ(StripMarkup(L"1 > 0"), L"1 > 0");
    EXPECT_EQ(StripMarkup(L"<br/>"), L"");
    EXPECT_EQ(StripMarkup(L"&lt;b&gt;bold&lt;/b&gt;"), L"&lt;b&gt;bold&lt;/b&gt;");
    EXPECT_EQ(StripMarkup(L"line\n<i>two</i>\t &amp;"), L"line\ntwo\t &amp;");
    EXPECT_EQ(StripMarkup(L"a<b<c>d"), L"ad"); // a "<" inside a tag is part of the tag
}

TEST(StripMarkup, KeepsTextAfterAnUnclosedTagStart)
{
    EXPECT_EQ(StripMarkup(L"x < y"), L"x < y");
    EXPECT_EQ(StripMarkup(L"<b>bold</b> and 1 < 2"), L"bold and 1 < 2");
}

TEST(TextHelpers, TrimAndCaseInsensitiveCompare)
{
    EXPECT_EQ(Trim(L" \t\r\n x y \n"), L"x y");
    EXPECT_EQ(Trim(L"   "), L"");
    EXPECT_TRUE(EqualsNoCase(L"PubDate", L"pubdate"));
    EXPECT_FALSE(EqualsNoCase(L"pubdate", L"pubdates"));
}

TEST(HostOfUrl, TakesTheHostOutOfTheAuthority)
{
    EXPECT_EQ(HostOfUrl(L"https://user:pw@news.example.org:8080/a?b#c"), L"news.example.org");
    EXPECT_EQ(HostOfUrl(L"http://example.org"), L"example.org");
    EXPECT_EQ(HostOfUrl(L"//cdn.example.org/feed"), L"cdn.example.org");
    EXPECT_EQ(HostOfUrl(L"http://[2001:db8::1]:80/"), L"[2001:db8::1]");
    EXPECT_EQ(HostOfUrl(L"feed.xml"), L"");
    EXPECT_EQ(HostOfUrl(L"/path//not-a-host"), L"");
}
