#include "content/FeedParser.h"

#include <algorithm>
#include <optional>
#include <queue>

#include "content/FeedDialects.h"
#include "content/TextUtil.h"
#include "content/XmlReader.h"
#include "platform/Unicode.h"

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

std::unique_ptr<CRssChannel> ParseDocument(xmlDoc* doc);

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

// The items of a document taken out of the tree as each one ends, and the
// ones worth keeping: all of them, or the newest of a limit.
class CItemStream : public IXmlElementSink {
public:
    enum class Use { Keep, CountOnly };
    explicit CItemStream(size_t newestItems, Use use = Use::Keep) : m_nLimit(newestItems), m_use(use) {}

    bool TakeElement(xmlDoc* doc, xmlNode* node) override
    {
        const xmlNode* parent = node->parent;
        if (parent == nullptr || parent->type != XML_ELEMENT_NODE)
            return false;
        // The root is the first element of the document, there before any
        // element ends.
        if (m_pRoot == nullptr) {
            m_pRoot = xmlDocGetRootElement(doc);
            if (m_pRoot == nullptr)
                return false;
            m_rootDialect = NameIs(m_pRoot, "rss") ? Dialect::Rss
                            : IsRdf(m_pRoot)       ? Dialect::Rdf
                            : NameIs(m_pRoot, "feed") ? Dialect::Atom
                                                      : Dialect::Unknown;
        }
        // Only the items of the feed itself: the root says which dialect,
        // and an item quoted inside some content is no item of the feed.
        // Where an element stands is told before its name is looked at.
        const bool rss = m_rootDialect == Dialect::Rss && parent->parent == m_pRoot && NameIs(node, "item") &&
                         NameIs(parent, "channel");
        const bool rdf = m_rootDialect == Dialect::Rdf && parent == m_pRoot && NameIs(node, "item");
        const bool atom = m_rootDialect == Dialect::Atom && parent == m_pRoot && NameIs(node, "entry");
        if (!rss && !rdf && !atom)
            return false;
        if (m_use == Use::CountOnly)
            ++m_nSeen;
        else
            Add(atom ? ParseAtomEntry(doc, node) : ParseRssItem(node));
        return true;
    }

    size_t Seen() const { return m_nSeen; }

    // The kept items, in document order.
    std::vector<std::unique_ptr<CRssItem>> Take()
    {
        std::vector<CKept> kept = std::move(m_undated);
        while (!m_dated.empty()) {
            kept.push_back(std::move(const_cast<CKept&>(m_dated.top())));
            m_dated.pop();
        }
        std::sort(kept.begin(), kept.end(), [](const CKept& a, const CKept& b) { return a.order < b.order; });
        std::vector<std::unique_ptr<CRssItem>> items;
        for (CKept& entry : kept)
            items.push_back(std::move(entry.item));
        return items;
    }

private:
    struct CKept {
        size_t order;
        std::unique_ptr<CRssItem> item;
    };
    // The oldest kept dated item on top, ready to make way; of equal dates
    // the later one goes first.
    struct COlderFirst {
        bool operator()(const CKept& a, const CKept& b) const
        {
            const double da = a.item->date.GetDays(), db = b.item->date.GetDays();
            return da != db ? da > db : a.order < b.order;
        }
    };

    void Add(std::unique_ptr<CRssItem> item)
    {
        const size_t order = m_nSeen++;
        const bool dated = item->date.IsValid() && item->date.GetDays() != 0;
        if (m_nLimit == 0 || !dated) {
            if (m_nLimit == 0 || m_undated.size() < m_nLimit)
                m_undated.push_back({order, std::move(item)});
            return;
        }
        m_dated.push({order, std::move(item)});
        if (m_dated.size() > m_nLimit)
            m_dated.pop();
    }

    size_t m_nLimit;
    Use m_use;
    const xmlNode* m_pRoot = nullptr;
    Dialect m_rootDialect = Dialect::Unknown;
    size_t m_nSeen = 0;
    std::vector<CKept> m_undated; // and every item when there is no limit
    std::priority_queue<CKept, std::vector<CKept>, COlderFirst> m_dated;
};

// The channel of a document, title or not; nothing when no dialect is known.
// Items the stream took come first, then any the walk still finds; seen
// (when given) receives how many items the document held in all.
std::unique_ptr<CRssChannel> ParseDocument(xmlDoc* doc, CItemStream& stream, size_t* seen = nullptr)
{
    auto channel = ParseDocument(doc);
    if (seen)
        *seen = stream.Seen() + (channel ? channel->items.size() : 0);
    if (channel) {
        auto items = stream.Take();
        std::move(channel->items.begin(), channel->items.end(), std::back_inserter(items));
        channel->items = std::move(items);
    }
    return channel;
}

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

// How many items a read of the whole file finds, without building them;
// nothing when no dialect is known.
std::optional<size_t> CountFileItems(const std::wstring& path, CXmlReadOptions options)
{
    CItemStream counter(0, CItemStream::Use::CountOnly);
    options.sink = &counter;
    options.stopAtBadReference = false;
    const CXmlDocPtr doc = ReadXmlFile(path, nullptr, options);
    const CDialectRoot root = FindDialect(doc.get());
    if (root.dialect == Dialect::Unknown)
        return std::nullopt;
    return counter.Seen() + CountItems(root);
}

std::unique_ptr<CRssChannel> ReadWholeFile(const std::wstring& path, size_t newestItems, CXmlReadOptions options)
{
    CItemStream stream(newestItems);
    options.sink = &stream;
    options.stopAtBadReference = false;
    return ParseDocument(ReadXmlFile(path, nullptr, options).get(), stream);
}

// A document read with errors is read again from its repaired text. That
// read is nearly always the better one. The first read stops at the first
// malformed reference, which the repair mends for certain; when the repaired
// text then reads without an error, it is taken. Otherwise the two reads
// are compared, and the first is kept only when it holds more items, should
// a repair misfire. Items of a read that is only compared are counted
// rather than parsed, and each tree is freed as soon as it is done with,
// so that a careless document costs little more memory than a clean one.
std::unique_ptr<CRssChannel> ReadChannel(const std::wstring& path, size_t newestItems, const std::string& documentUrl)
{
    CItemStream firstStream(newestItems);
    CXmlReadOptions options;
    options.sink = &firstStream;
    options.documentUrl = documentUrl;
    options.stopAtBadReference = true;
    CXmlReadNotes firstNotes;
    CXmlDocPtr doc = ReadXmlFile(path, &firstNotes, options);
    if (!firstNotes.repairable || (!firstNotes.stopped && !XmlFileNeedsRepair(path)))
        return ParseDocument(doc.get(), firstStream);
    std::optional<size_t> firstItems;
    if (!firstNotes.stopped) {
        const CDialectRoot first = FindDialect(doc.get());
        if (first.dialect != Dialect::Unknown)
            firstItems = firstStream.Seen() + CountItems(first);
    }
    doc.reset();
    firstStream.Take(); // what the first read kept is not needed any more

    CItemStream repairedStream(newestItems);
    CXmlReadOptions repairedOptions = options;
    repairedOptions.sink = &repairedStream;
    repairedOptions.stopAtBadReference = false;
    CXmlReadNotes repairedNotes;
    bool changed = false;
    CXmlDocPtr repairedDoc = ReadRepairedXmlFile(path, &repairedNotes, repairedOptions, &changed);
    size_t repairedItems = 0;
    std::unique_ptr<CRssChannel> repaired = ParseDocument(repairedDoc.get(), repairedStream, &repairedItems);
    repairedDoc.reset();
    // Nothing mended: that was a whole read of the document as it is.
    if (firstNotes.stopped && (!changed || (repaired && !repairedNotes.repairable)))
        return repaired;
    if (firstNotes.stopped)
        firstItems = CountFileItems(path, options);
    if (repaired ? !firstItems || repairedItems >= *firstItems : !firstItems)
        return repaired;
    repaired.reset();
    return ReadWholeFile(path, newestItems, options);
}

} // namespace

std::unique_ptr<CRssChannel> ParseFeedFile(const std::wstring& path, size_t newestItems, const std::wstring& documentUrl)
{
    std::unique_ptr<CRssChannel> channel = ReadChannel(path, newestItems, WideToUtf8(documentUrl));
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
