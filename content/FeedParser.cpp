#include "content/FeedParser.h"

#include "content/FeedDialects.h"
#include "content/TextUtil.h"
#include "content/XmlReader.h"

namespace {

enum class Dialect { Unknown, Rss, Rdf, Atom };

struct CDialectRoot {
    Dialect dialect = Dialect::Unknown;
    const xmlNode* node = nullptr;
};

bool IsRdf(const xmlNode* node) { return NameIs(node, "rdf:RDF") || NameIs(node, "RDF"); }

// The root element decides; only a root of another name is searched, since
// an Atom entry may well carry RDF metadata (in SVG, say) or quote RSS.
CDialectRoot FindDialect(xmlDoc* doc)
{
    const xmlNode* root = doc != nullptr ? xmlDocGetRootElement(doc) : nullptr;
    if (root == nullptr)
        return {};
    if (NameIs(root, "rss"))
        return {Dialect::Rss, root};
    if (IsRdf(root))
        return {Dialect::Rdf, root};
    if (NameIs(root, "feed"))
        return {Dialect::Atom, root};
    if (const xmlNode* rss = FindElementDepthFirst(root, "rss"))
        return {Dialect::Rss, rss};
    if (const xmlNode* rdf = FindElementDepthFirst(root, "rdf:RDF"))
        return {Dialect::Rdf, rdf};
    if (const xmlNode* rdf = FindElementDepthFirst(root, "RDF"))
        return {Dialect::Rdf, rdf};
    if (const xmlNode* feed = FindElementDepthFirst(root, "feed"))
        return {Dialect::Atom, feed};
    return {};
}

// RSS 1.0 keeps its items beside the channel, as children of the RDF root.
void ParseRdf(const xmlNode* rdf, CRssChannel& channel)
{
    for (const xmlNode* child = rdf->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (NameIs(child, "channel"))
            ParseRssChannel(child, channel);
        else if (NameIs(child, "item"))
            channel.items.push_back(ParseRssItem(child));
    }
}

// The channel of a document, title or not; nothing when no dialect is known.
std::unique_ptr<CRssChannel> ParseDocument(xmlDoc* doc)
{
    const CDialectRoot root = FindDialect(doc);
    auto channel = std::make_unique<CRssChannel>();
    switch (root.dialect) {
    case Dialect::Rss:
        if (const xmlNode* channelNode = FindElementDepthFirst(root.node, "channel"))
            ParseRssChannel(channelNode, *channel);
        break;
    case Dialect::Rdf:
        ParseRdf(root.node, *channel);
        break;
    case Dialect::Atom:
        ParseAtomFeed(doc, root.node, *channel);
        break;
    case Dialect::Unknown:
        return nullptr;
    }
    return channel;
}

// About as many items as ParseDocument would give, without building them.
size_t CountItems(const CDialectRoot& root)
{
    const xmlNode* parent = root.node;
    if (root.dialect == Dialect::Rss)
        parent = FindElementDepthFirst(root.node, "channel");
    const char* const name = root.dialect == Dialect::Atom ? "entry" : "item";
    size_t count = 0;
    for (const xmlNode* child = parent != nullptr ? parent->children : nullptr; child != nullptr; child = child->next)
        count += child->type == XML_ELEMENT_NODE && NameIs(child, name) ? 1 : 0;
    return count;
}

// A document read with errors is read again from its repaired text. That
// read is nearly always the better one; the first is kept only when it holds
// more items, should a repair misfire. Its items are counted rather than
// parsed, and each tree is freed as soon as it is done with, so that a
// careless document costs little more memory than a clean one.
std::unique_ptr<CRssChannel> ReadChannel(const std::wstring& path)
{
    bool repairable = false;
    CXmlDocPtr doc = ReadXmlFile(path, &repairable);
    if (!repairable)
        return ParseDocument(doc.get());
    CRepairedXml repairedText = ReadRepairedXmlText(path);
    if (!repairedText.changed)
        return ParseDocument(doc.get());
    const CDialectRoot first = FindDialect(doc.get());
    const size_t firstItems = CountItems(first);
    doc.reset();
    CXmlDocPtr repairedDoc = ParseRepairedXml(repairedText, path);
    repairedText = {};
    std::unique_ptr<CRssChannel> repaired = ParseDocument(repairedDoc.get());
    repairedDoc.reset();
    if (repaired ? repaired->items.size() >= firstItems : first.dialect == Dialect::Unknown)
        return repaired;
    repaired.reset();
    return ParseDocument(ReadXmlFile(path).get());
}

} // namespace

std::unique_ptr<CRssChannel> ParseFeedFile(const std::wstring& path)
{
    std::unique_ptr<CRssChannel> channel = ReadChannel(path);
    if (!channel)
        return nullptr;
    if (channel->title.empty()) {
        // A feed that delivers items is worth reading without a title; an
        // empty one without a title is taken for a broken document.
        if (channel->items.empty())
            return nullptr;
        channel->title = HostOfUrl(channel->link);
        if (channel->title.empty())
            channel->title = kUntitledFeedTitle;
    }
    channel->sourcePath = path;
    return channel;
}
