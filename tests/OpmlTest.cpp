// Loading and saving subscription documents.

#include <filesystem>
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "content/DateText.h"
#include "platform/Unicode.h"
#include "subscriptions/OpmlFile.h"

namespace fs = std::filesystem;

namespace {

class OpmlTest : public CTempHomeTest {
protected:
    std::unique_ptr<COpmlDoc> Load(const std::string& text) { return LoadOpmlFile(WriteHomeFile("in.opml", text)); }

    // Saves, then returns the file's text.
    std::string SaveText(const COpmlDoc& doc)
    {
        const std::wstring path = HomePathW("out.opml");
        EXPECT_TRUE(SaveOpmlFile(doc, path));
        return ReadWholeFile(HomePath("out.opml"));
    }
};

} // namespace

TEST_F(OpmlTest, ReadsFoldersFeedsAndTheirAttributes)
{
    const auto doc = Load(R"(<?xml version="1.0"?>
<opml version="2.0">
  <head><title>Mine</title></head>
  <body>
    <outline text="News" zelviaFlag="7" type="folder-type" version="v">
      <outline title="  Feed A  " text="ignored" xmlUrl=" https://a.example/rss " htmlUrl="https://a.example/"
               description="About A" type="rss" url="https://not-a-feed.example/"/>
      <outline title="Folder by url" url="https://b.example/"/>
    </outline>
    <outline title="Feed with children" xmlUrl="https://c.example/rss"><outline title="Child"/></outline>
    <other><outline title="Inside another element: skipped"/></other>
  </body>
</opml>)");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->version, L"2.0");
    EXPECT_EQ(doc->title, L"Mine");
    ASSERT_EQ(doc->outlines.size(), 2u);

    const COutline& news = *doc->outlines[0];
    EXPECT_EQ(news.title, L"News");
    EXPECT_EQ(news.text, L"");
    EXPECT_EQ(news.kind, OutlineKindFolder);
    EXPECT_EQ(news.zelviaFlag, L"7");
    EXPECT_EQ(news.type, L"folder-type");
    EXPECT_EQ(news.status, -1);
    ASSERT_EQ(news.children.size(), 2u);

    const COutline& feed = *news.children[0];
    EXPECT_EQ(feed.title, L"Feed A");
    EXPECT_EQ(feed.text, L"");
    EXPECT_EQ(feed.xmlUrl, L"https://a.example/rss");
    EXPECT_EQ(feed.kind, OutlineKindFeed);
    EXPECT_EQ(feed.description, L"About A");
    EXPECT_EQ(feed.url, L"https://not-a-feed.example/");
    EXPECT_EQ(news.children[1]->kind, OutlineKindFolder); // url does not make a feed

    const COutline& parent = *doc->outlines[1];
    EXPECT_EQ(parent.kind, OutlineKindFeed);
    ASSERT_EQ(parent.children.size(), 1u);
    EXPECT_EQ(parent.children[0]->title, L"Child");
}

TEST_F(OpmlTest, NamesCompareWithoutRegardToCase)
{
    const auto doc = Load("<OPML><Body><Outline TITLE='Loud' XMLURL='https://loud.example/'/></Body></OPML>");
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->outlines.size(), 1u);
    EXPECT_EQ(doc->outlines[0]->xmlUrl, L"https://loud.example/");
    EXPECT_EQ(doc->outlines[0]->kind, OutlineKindFeed);
}

TEST_F(OpmlTest, OutlinesWithoutANameAreDroppedWithEverythingInside)
{
    const auto doc = Load("<opml><body>"
                          "<outline text=' \t\n '><outline title='Lost child'/></outline>"
                          "<outline title='' text='From text'/>"
                          "</body></opml>");
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->outlines.size(), 1u);
    EXPECT_EQ(doc->outlines[0]->title, L"From text");
}

TEST_F(OpmlTest, HeadAttributesComeFirstAndTheFirstValueWins)
{
    const auto doc = Load("<opml><head title='From attribute' ownerEmail=''>"
                          "<title>A</title><title>B</title><ownerName>  Owner  </ownerName>"
                          "<ownerEmail>o@example.org</ownerEmail>"
                          "<dateCreated>Mon, 06 Sep 2004 16:45:00 GMT</dateCreated>"
                          "<dateCreated>Tue, 07 Sep 2004 16:45:00 GMT</dateCreated></head><body/></opml>");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->title, L"From attribute");
    EXPECT_EQ(doc->ownerName, L"Owner");
    EXPECT_EQ(doc->ownerEmail, L"o@example.org");
    EXPECT_EQ(FormatDateTime(doc->dateCreated, L"%Y-%m-%d %H:%M"), L"2004-09-06 16:45");
    EXPECT_FALSE(doc->dateModified.IsValid());

    const auto headTitles = Load("<opml><head><title>A</title><title>B</title></head><body/></opml>");
    ASSERT_NE(headTitles, nullptr);
    EXPECT_EQ(headTitles->title, L"A");
}

TEST_F(OpmlTest, FindsTheBodyWithOrWithoutAHead)
{
    const auto noHead = Load("<opml><wrapper><body><outline title='Deep'/></body></wrapper></opml>");
    ASSERT_NE(noHead, nullptr);
    ASSERT_EQ(noHead->outlines.size(), 1u);

    const auto noBody = Load("<opml><head><title>Only a head</title></head></opml>");
    ASSERT_NE(noBody, nullptr);
    EXPECT_TRUE(noBody->outlines.empty());

    EXPECT_EQ(Load("<rss><channel><title>Not OPML</title></channel></rss>"), nullptr);
}

TEST_F(OpmlTest, KeepsOnlyAPrefixedFirstNamespaceDeclaration)
{
    const auto prefixed = Load("<opml xmlns:z='urn:zelvia' xmlns:y='urn:other' version='1.1'><body/></opml>");
    ASSERT_NE(prefixed, nullptr);
    EXPECT_EQ(prefixed->namespaceUri, L"urn:zelvia");
    EXPECT_EQ(prefixed->namespaceAttr, L"xmlns:z");
    const std::string saved = SaveText(*prefixed);
    EXPECT_NE(saved.find("xmlns:z=\"urn:zelvia\""), std::string::npos) << saved;
    EXPECT_EQ(saved.find("urn:other"), std::string::npos) << saved;

    const auto defaultFirst = Load("<opml xmlns='urn:default' xmlns:z='urn:zelvia'><body/></opml>");
    ASSERT_NE(defaultFirst, nullptr);
    EXPECT_EQ(defaultFirst->namespaceAttr, L"");
}

TEST_F(OpmlTest, SavesTheSystemsOwnFormAndLoadsItBack)
{
    auto doc = Load("<opml version='1.0'><head><title>Old title</title><ownerName>Old owner</ownerName>"
                    "<dateCreated>Mon, 06 Sep 2004 16:45:00 GMT</dateCreated></head><body>"
                    "<outline title='' text='News'>"
                    "<outline title='Feed &amp; &quot;more&quot;' xmlUrl='https://a.example/?x=1&amp;y=2'"
                    " htmlUrl='https://a.example/' description='D' type='rss' version='RSS2'"
                    " url='https://podcasts.example/a' zelviaFlag='opaque'/></outline>"
                    "<outline title='Ünïcödé ✓'/></body></opml>");
    ASSERT_NE(doc, nullptr);
    const std::string saved = SaveText(*doc);
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("<outline title=\"News\">"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("text="), std::string::npos);
    EXPECT_NE(saved.find("title=\"Feed &amp; &quot;more&quot;\" description=\"D\" type=\"rss\" version=\"RSS2\" "
                         "url=\"https://podcasts.example/a\" xmlUrl=\"https://a.example/?x=1&amp;y=2\" "
                         "htmlUrl=\"https://a.example/\" "
                         "zelviaFlag=\"opaque\""),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find("<head title=\"OPML generated by Zelvia Reader\" ownerName="), std::string::npos);

    const auto again = LoadOpmlFile(HomePathW("out.opml"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->title, L"OPML generated by Zelvia Reader");
    EXPECT_EQ(again->ownerName, kOpmlOwnerName);
    EXPECT_TRUE(again->dateCreated.IsValid());
    EXPECT_GT(again->dateCreated.m_dt, 40000.0); // freshly generated, not 2004
    ASSERT_EQ(again->outlines.size(), 2u);
    const COutline& feed = *again->outlines[0]->children[0];
    EXPECT_EQ(feed.title, L"Feed & \"more\"");
    EXPECT_EQ(feed.xmlUrl, L"https://a.example/?x=1&y=2");
    EXPECT_EQ(feed.zelviaFlag, L"opaque");
    EXPECT_EQ(feed.url, L"https://podcasts.example/a");
    EXPECT_EQ(again->outlines[1]->title, L"Ünïcödé ✓");
}

TEST_F(OpmlTest, SaveReportsFailureAndNeverLeavesAHalfWrittenFile)
{
    COpmlDoc doc;
    doc.outlines.push_back(std::make_unique<COutline>());
    doc.outlines[0]->title = L"New";

    EXPECT_FALSE(SaveOpmlFile(doc, HomePathW("no/such/folder/out.opml")));

    // The target cannot be replaced (it is a non-empty folder): the save
    // fails, the target is untouched and no temporary file is left behind.
    fs::create_directories(HomePath("target.opml/inside"));
    EXPECT_FALSE(SaveOpmlFile(doc, HomePathW("target.opml")));
    EXPECT_TRUE(fs::is_directory(HomePath("target.opml/inside")));

    const std::wstring existing = WriteHomeFile("existing.opml", "<opml><body><outline title='Old'/></body></opml>");
    EXPECT_TRUE(SaveOpmlFile(doc, existing));
    const auto reloaded = LoadOpmlFile(existing);
    ASSERT_NE(reloaded, nullptr);
    EXPECT_EQ(reloaded->outlines[0]->title, L"New");

    ExpectNoTemporaryFiles(m_strHome);
}

TEST(Outline, CopyingTakesEveryFieldButTheChildren)
{
    COutline original;
    original.title = L"T";
    original.xmlUrl = L"x";
    original.kind = OutlineKindFeed;
    original.zelviaFlag = L"f";
    original.status = 2;
    original.children.push_back(std::make_unique<COutline>());
    const COutline copy(original);
    EXPECT_EQ(copy.title, L"T");
    EXPECT_EQ(copy.xmlUrl, L"x");
    EXPECT_EQ(copy.kind, OutlineKindFeed);
    EXPECT_EQ(copy.zelviaFlag, L"f");
    EXPECT_EQ(copy.status, 2);
    EXPECT_TRUE(copy.children.empty());
}

TEST_F(OpmlTest, FeedsWithoutANameAreNamedAfterTheirHost)
{
    // As other readers export feeds they have not fetched yet.
    const auto doc = Load("<opml><body>"
                          "<outline title='' text='' type='rss' xmlUrl='https://user@feeds.example.org:8080/rss'>"
                          "<outline title='Kept child'/></outline>"
                          "<outline title='' xmlUrl='feed.xml'/>"
                          "<outline title='' text='' htmlUrl='https://folder.example.org/'/>"
                          "</body></opml>");
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->outlines.size(), 2u);
    EXPECT_EQ(doc->outlines[0]->title, L"feeds.example.org");
    EXPECT_EQ(doc->outlines[0]->kind, OutlineKindFeed);
    EXPECT_EQ(doc->outlines[0]->children.size(), 1u);
    EXPECT_EQ(doc->outlines[1]->title, L"feed.xml");
    EXPECT_NE(SaveText(*doc).find("<outline title=\"feeds.example.org\" type=\"rss\""), std::string::npos);
}

TEST_F(OpmlTest, EntityNamesAndBareAmpersandsInAttributesSurviveASave)
{
    // Entity names alone leave the document well formed as libxml2 sees it;
    // the bare "&" makes it report an error. Both must read as written.
    const auto named = Load("<opml><body><outline text='Caf&eacute; &raquo; News'"
                            " xmlUrl='https://a.example/?q=caf&eacute;'/></body></opml>");
    ASSERT_NE(named, nullptr);
    ASSERT_EQ(named->outlines.size(), 1u);
    EXPECT_EQ(named->outlines[0]->title, L"Café » News");
    EXPECT_EQ(named->outlines[0]->xmlUrl, L"https://a.example/?q=café");

    const auto bare = Load("<opml><body><outline title='R&D &amp; Caf&eacute;'"
                           " xmlUrl='https://b.example/backend.php?page=backend-fd&lang=en&amp;x=1'/></body></opml>");
    ASSERT_NE(bare, nullptr);
    ASSERT_EQ(bare->outlines.size(), 1u);
    EXPECT_EQ(bare->outlines[0]->title, L"R&D & Café");
    EXPECT_EQ(bare->outlines[0]->xmlUrl, L"https://b.example/backend.php?page=backend-fd&lang=en&x=1");

    const std::string saved = SaveText(*bare);
    EXPECT_NE(saved.find("title=\"R&amp;D &amp; Café\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("?page=backend-fd&amp;lang=en&amp;x=1\""), std::string::npos) << saved;
    const auto again = LoadOpmlFile(HomePathW("out.opml"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->outlines[0]->xmlUrl, bare->outlines[0]->xmlUrl);
}
