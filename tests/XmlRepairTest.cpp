// Mending the text of careless documents before libxml2 reads them again.

#include <gtest/gtest.h>

#include "content/XmlRepair.h"

namespace {

std::string Mended(std::string_view text)
{
    CRepairedXml repaired = RepairXmlText(text);
    return repaired.changed ? repaired.text : std::string(text);
}

} // namespace

TEST(XmlRepair, EscapesBareAmpersandsAndKeepsWellFormedReferences)
{
    EXPECT_EQ(Mended("<a>AT&T &amp; R&D &#233; &#xE9; & &#; &#x; &#X41; &lt;</a>"),
              "<a>AT&amp;T &amp; R&amp;D &#233; &#xE9; &amp; &amp;#; &amp;#x; &amp;#X41; &lt;</a>");
    EXPECT_EQ(Mended("<a href='?a=1&b=2' title=\"x &amp; y\" q='&'>"),
              "<a href='?a=1&amp;b=2' title=\"x &amp; y\" q='&amp;'>");
    // HTML names become numeric references (which libxml2 also reads in
    // attribute values); a declared entity stays, an unknown one is text.
    EXPECT_EQ(Mended("<!DOCTYPE a [<!ENTITY own 'x'>]><a t='Caf&eacute;'>&own; &nbsp; &nosuch; &copy</a>"),
              "<!DOCTYPE a [<!ENTITY own 'x'>]><a t='Caf&#233;'>&own; &#160; &amp;nosuch; &amp;copy</a>");
}

TEST(XmlRepair, LeavesCommentsCdataInstructionsAndTheDoctypeAlone)
{
    const std::string_view untouched = "<?xml version='1.0'?><?pi a&b <br>?>"
                                       "<!DOCTYPE x [<!ENTITY e 'a&b'> <!-- ']>' & --> <!ATTLIST x y CDATA '&'>]>"
                                       "<x><!-- & <br> --><![CDATA[ & <br> ]]><y z='1'/></x>";
    EXPECT_FALSE(RepairXmlText(untouched).changed);
    EXPECT_EQ(Mended("<x><![CDATA[&<br>]]>&<br></x>"), "<x><![CDATA[&<br>]]>&amp;<br/></x>");
}

TEST(XmlRepair, ClosesHtmlVoidElementsAndDropsTheirEndTags)
{
    EXPECT_EQ(Mended("<p>a<br>b<BR >c<img src='x>y' alt=\"\"><hr/></br><wbr></p>"),
              "<p>a<br/>b<BR />c<img src='x>y' alt=\"\"/><hr/><wbr/></p>");
    // Feed elements that share their names with HTML void elements keep
    // their content, and a start tag broken off by "<" is left to libxml2.
    EXPECT_FALSE(RepairXmlText("<item><link>u</link><source url='s'>t</source><br/></item>").changed);
    EXPECT_EQ(Mended("<p><img src='a<b>c</b></p>"), "<p><img src='a<b>c</b></p>");
}

TEST(XmlRepair, ConvertsUndeclaredDocumentsThatAreNotUtf8FromWindows1252)
{
    // The bytes of "é’€" happen to form one valid UTF-8 character; the
    // document as a whole is not UTF-8, so they are read as three.
    EXPECT_EQ(Mended("<a>Caf\xE9 \xE9\x92\x80 \x81</a>"), "<a>Café é’€ \u0081</a>");
    EXPECT_EQ(Mended("<?xml version='1.0'?>\n<a t='\x93q\x94'>&</a>"), "<?xml version='1.0'?>\n<a t='“q”'>&amp;</a>");
    // A declared encoding, or the UTF-8 mark, is left to libxml2.
    EXPECT_FALSE(RepairXmlText("<?xml version='1.0' encoding='ISO-8859-1'?><a>Caf\xE9</a>").changed);
    EXPECT_FALSE(RepairXmlText("\xEF\xBB\xBF<a>Caf\xE9</a>").changed);
    EXPECT_FALSE(RepairXmlText("<a>Café \xEF\xBF\xBD</a>").changed);
    // UTF-16 is never rewritten byte by byte.
    EXPECT_FALSE(RepairXmlText(std::string_view("\xFF\xFE<\0a\0>\0&\0", 10)).changed);
}

// An item or entry never nests in what its channel or feed left open: the
// open elements are closed in front of it (their end tags, should they come
// after all, are dropped). Elsewhere, and for items of other namespaces,
// nothing changes.
TEST(XmlRepair, ClosesWhatAChannelLeftOpenInFrontOfItsItems)
{
    EXPECT_EQ(Mended("<rss><channel><itunes:category text='T'><item>a</item><item>b</item></channel></rss>"),
              "<rss><channel><itunes:category text='T'></itunes:category><item>a</item><item>b</item></channel></rss>");
    EXPECT_EQ(Mended("<rss><channel><image><url>u</url><item>a</item></image></channel></rss>"),
              "<rss><channel><image><url>u</url></image><item>a</item></channel></rss>");
    // An item left open, and its description: libxml2 takes any end tag
    // for that of the element open last, so "</description>" closed "<b>".
    EXPECT_EQ(Mended("<channel><item><description>x <b>y</description><item>z</item></channel>"),
              "<channel><item><description>x <b>y</description></description></item><item>z</item></channel>");
    EXPECT_EQ(Mended("<feed xmlns='http://www.w3.org/2005/Atom'><author><name>n</name><entry/><ENTRY>e</ENTRY></feed>"),
              "<feed xmlns='http://www.w3.org/2005/Atom'><author><name>n</name></author><entry/><ENTRY>e</ENTRY></feed>");
    EXPECT_EQ(Mended("<rdf:RDF><channel/><x><item/></x></rdf:RDF>"), "<rdf:RDF><channel/><x></x><item/></rdf:RDF>");
    // A channel buried deeper than the few elements left open at its level
    // is not looked for.
    std::string deep = "<channel>";
    for (int i = 0; i < 17; ++i)
        deep += "<x>";
    EXPECT_FALSE(RepairXmlText(deep + "<item/>").changed);
    for (const char* untouched : {"<rss><channel><item><foo:item>q</foo:item></item></channel></rss>",
                                  "<rss><item><x><item/></x></item></rss>", "<channel><x><entry/></x></channel>",
                                  "<feed><x><item/></x></feed>"})
        EXPECT_FALSE(RepairXmlText(untouched).changed) << untouched;
}
