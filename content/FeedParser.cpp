#include "content/FeedParser.h"

#include "content/FeedDialects.h"
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

} // namespace

std::unique_ptr<CRssChannel> ParseFeedFile(const std::wstring& path)
{
    const CXmlDocPtr doc = ReadXmlFile(path);
    if (!doc)
        return nullptr;
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr)
        return nullptr;

    auto channel = std::make_unique<CRssChannel>();
    if (const xmlNode* rss = FindElementDepthFirst(root, "rss")) {
        if (const xmlNode* channelNode = FindElementDepthFirst(rss, "channel"))
            ParseRssChannel(channelNode, *channel);
    } else if (const xmlNode* rdf = FindElementDepthFirst(root, "rdf:RDF")) {
        ParseRdf(rdf, *channel);
    } else if (const xmlNode* rdfLocal = FindElementDepthFirst(root, "RDF")) {
        ParseRdf(rdfLocal, *channel);
    } else if (const xmlNode* feed = FindElementDepthFirst(root, "feed")) {
        ParseAtomFeed(doc.get(), feed, *channel);
    } else {
        return nullptr;
    }
    channel->sourcePath = path;
    if (channel->title.empty())
        return nullptr;
    return channel;
}
