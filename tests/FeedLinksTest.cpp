// What makes an address a site's, and what a site's page says about its
// feeds: the scheme put before a bare address, the sniffing of a web page,
// and the <link rel="alternate"> elements read from tag soup.

#include <gtest/gtest.h>

#include "content/FeedLinks.h"
#include "update/FeedDiscovery.h"

namespace {

std::vector<std::wstring> Urls(const std::vector<CFeedLink>& links)
{
    std::vector<std::wstring> urls;
    for (const CFeedLink& link : links)
        urls.push_back(link.url);
    return urls;
}

TEST(FeedLinksTest, AnAddressWithoutASchemeIsTakenAsHttps)
{
    EXPECT_EQ(CompleteWebAddress(L"  lwn.net "), L"https://lwn.net");
    EXPECT_EQ(CompleteWebAddress(L"example.org:8080/news?x=1"), L"https://example.org:8080/news?x=1");
    EXPECT_EQ(CompleteWebAddress(L"localhost:631"), L"https://localhost:631");
    EXPECT_EQ(CompleteWebAddress(L"//cdn.example.org/feed"), L"https://cdn.example.org/feed");
    // A scheme, of whatever kind, stays for the fetch to accept or refuse.
    EXPECT_EQ(CompleteWebAddress(L"http://example.org"), L"http://example.org");
    EXPECT_EQ(CompleteWebAddress(L"HTTPS://example.org"), L"HTTPS://example.org");
    EXPECT_EQ(CompleteWebAddress(L"ftp://example.org/rss"), L"ftp://example.org/rss");
    EXPECT_EQ(CompleteWebAddress(L"mailto:news@example.org"), L"mailto:news@example.org");
    EXPECT_EQ(CompleteWebAddress(L"javascript:alert(1)"), L"javascript:alert(1)");
    EXPECT_EQ(CompleteWebAddress(L"   "), L"");
}

TEST(FeedLinksTest, AWebPageIsToldFromFeedsAndOtherDocuments)
{
    for (const char* page : {"<!DOCTYPE html><html>", "  \n<HTML lang=en>", "<head><title>x</title>", "<p>text",
                             "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- made by hand --><html xmlns=\"x\">",
                             "<!-- one --> <!-- two -->\n<body>", "<a href=\"/\">home</a>"})
        EXPECT_TRUE(LooksLikeHtml(page)) << page;
    for (const char* other : {"<?xml version=\"1.0\"?><rss version=\"2.0\">", "<feed xmlns=\"http://www.w3.org/2005/Atom\">",
                              "<opml version=\"1.0\">", "<abbr>not a start</abbr>", "plain text <html>", "{\"json\": 1}",
                              "", "<!-- never closed <html>", "<htmlx>"})
        EXPECT_FALSE(LooksLikeHtml(other)) << other;
}

TEST(FeedLinksTest, APagesAnnouncedFeedsAreReadFromTagSoupAndResolved)
{
    const std::string page = R"html(<!DOCTYPE html>
<html><head>
<base href="/site/">
<LINK REL="Alternate" TYPE="application/RSS+xml; charset=utf-8" HREF="feed.xml" title=" News &amp; notes ">
<link rel="alternate stylesheet" type="text/css" href="dark.css">
<link rel="icon alternate" type="application/atom+xml" href="//cdn.example.org/atom.xml">
<link rel="alternate" type="application/rdf+xml" href="javascript:alert(1)">
<link rel="alternate" type="application/json" href="feed.json">
<link rel="alternate" type="application/rss+xml" href=" feed.xml ">
<link rel="alternate" type="application/rss+xml" href="">
<link rel="alternate" href="untyped.xml">
</head><body><p>Unclosed <b>markup
<link rel="alternate" type="application/rdf+xml" href="../body.rdf" title="In the body">)html";
    const std::vector<CFeedLink> links = FindFeedLinks(page, L"http://www.example.org/news/today.html");
    EXPECT_EQ(Urls(links), (std::vector<std::wstring>{L"http://www.example.org/site/feed.xml",
                                                      L"http://cdn.example.org/atom.xml",
                                                      L"http://www.example.org/body.rdf"}));
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].title, L"News & notes");
    EXPECT_EQ(links[0].type, L"application/rss+xml");
    EXPECT_EQ(links[1].type, L"application/atom+xml");
    EXPECT_EQ(FeedLinkLabel(links[0]), L"News & notes (RSS)");
    EXPECT_EQ(FeedLinkLabel(links[1]), L"http://cdn.example.org/atom.xml");

    // Without a base, relative to the page itself; a page of another
    // character set keeps its words.
    const std::vector<CFeedLink> latin = FindFeedLinks(
        "<html><head><meta charset=\"iso-8859-1\"><link rel=alternate type=application/atom+xml href=atom "
        "title=\"\xE9t\xE9\"></head></html>",
        L"https://example.org/blog/");
    ASSERT_EQ(latin.size(), 1u);
    EXPECT_EQ(latin[0].url, L"https://example.org/blog/atom");
    EXPECT_EQ(latin[0].title, L"\u00E9t\u00E9");

    EXPECT_TRUE(FindFeedLinks("<html><body>no feeds here</body></html>", L"https://example.org/").empty());
    EXPECT_TRUE(FindFeedLinks("", L"https://example.org/").empty());
}

} // namespace
