#include "content/FeedParser.h"

#include "content/FeedDialects.h"
#include "content/TextUtil.h"
#include "content/XmlReader.h"

namespace {

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

bool IsRdf(const xmlNode* node) { return NameIs(node, "rdf:RDF") || NameIs(node, "RDF"); }

// The channel of a document, title or not; nothing when no dialect is known.
// The root element decides; only a root of another name is searched, since
// an Atom entry may well carry RDF metadata (in SVG, say) or quote RSS.
std::unique_ptr<CRssChannel> ParseDocument(const CXmlDocPtr& doc)
{
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (root == nullptr)
        return nullptr;
    const xmlNode* rss = nullptr;
    const xmlNode* rdf = nullptr;
    const xmlNode* feed = nullptr;
    if (NameIs(root, "rss")) {
        rss = root;
    } else if (IsRdf(root)) {
        rdf = root;
    } else if (NameIs(root, "feed")) {
        feed = root;
    } else {
        rss = FindElementDepthFirst(root, "rss");
        if (rss == nullptr)
            rdf = FindElementDepthFirst(root, "rdf:RDF");
        if (rss == nullptr && rdf == nullptr)
            rdf = FindElementDepthFirst(root, "RDF");
        if (rss == nullptr && rdf == nullptr)
            feed = FindElementDepthFirst(root, "feed");
    }

    auto channel = std::make_unique<CRssChannel>();
    if (rss != nullptr) {
        if (const xmlNode* channelNode = FindElementDepthFirst(rss, "channel"))
            ParseRssChannel(channelNode, *channel);
    } else if (rdf != nullptr) {
        ParseRdf(rdf, *channel);
    } else if (feed != nullptr) {
        ParseAtomFeed(doc.get(), feed, *channel);
    } else {
        return nullptr;
    }
    return channel;
}

} // namespace

std::unique_ptr<CRssChannel> ParseFeedFile(const std::wstring& path)
{
    bool repairable = false;
    std::unique_ptr<CRssChannel> channel = ParseDocument(ReadXmlFile(path, &repairable));
    if (repairable) {
        // The repaired text is nearly always the better read; the first one
        // stays only when it holds more items, should a repair misfire.
        std::unique_ptr<CRssChannel> repaired = ParseDocument(ReadRepairedXmlFile(path));
        if (repaired && (!channel || repaired->items.size() >= channel->items.size()))
            channel = std::move(repaired);
    }
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
