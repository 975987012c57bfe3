// Atom feeds and entries (1.0 and the older 0.3 names).

#include "content/FeedDialects.h"
#include "content/TextUtil.h"
#include "content/XmlReader.h"

namespace {

bool IsAtomField(const xmlNode* node) { return node->type == XML_ELEMENT_NODE && !IsForeignElement(node); }

// The link of a feed or entry: the first "alternate" link (a link without
// "rel" is an alternate one) of the best type: "text/html", then no type,
// then any other ("application/pdf", a feed format, ...). Only when there is
// no alternate link, the last link with an href, whatever its rel ("self",
// "edit", "enclosure", ...). The last "enclosure" link is the enclosure.
class CAtomLinkChoice {
public:
    void Offer(const xmlNode* link)
    {
        std::wstring href;
        std::wstring rel;
        std::wstring type;
        std::wstring length;
        bool hasHref = false;
        for (const xmlAttr* attribute = link->properties; attribute != nullptr; attribute = attribute->next) {
            const auto* asNode = reinterpret_cast<const xmlNode*>(attribute);
            if (NameIs(asNode, "href")) {
                href = AttributeValue(attribute);
                hasHref = true;
            } else if (NameIs(asNode, "rel")) {
                rel = AttributeValue(attribute);
            } else if (NameIs(asNode, "type")) {
                type = AttributeValue(attribute);
            } else if (NameIs(asNode, "length")) {
                length = AttributeValue(attribute);
            }
        }
        if (!hasHref)
            return;
        m_last = {href, link};
        if (rel.empty() || EqualsNoCase(rel, L"alternate")) {
            const int rank = AlternateRank(type);
            if (rank < m_nAlternateRank) {
                m_alternate = {href, link};
                m_nAlternateRank = rank;
            }
        } else if (EqualsNoCase(rel, L"enclosure")) {
            m_enclosure = {std::move(href), std::move(type), ParseLength(length)};
            m_pEnclosureNode = link;
        }
    }

    // The chosen link as written, and the element that wrote it (null when
    // none was chosen).
    const xmlNode* ApplyTo(std::wstring& link) const
    {
        const CHref& chosen = m_nAlternateRank != kNoAlternate ? m_alternate : m_last;
        if (chosen.node != nullptr)
            link = chosen.href;
        return chosen.node;
    }

    // The enclosure as written, and its element (null when there is none).
    const xmlNode* ApplyEnclosureTo(CRssEnclosure& enclosure)
    {
        if (m_pEnclosureNode != nullptr)
            enclosure = std::move(m_enclosure);
        return m_pEnclosureNode;
    }

private:
    static constexpr int kNoAlternate = 3;

    struct CHref {
        std::wstring href;
        const xmlNode* node = nullptr;
    };

    // 0 for a web page, 1 for a link of no stated type, 2 for anything else.
    static int AlternateRank(const std::wstring& type)
    {
        if (type.empty())
            return 1;
        const std::wstring mediaType = Trim(std::wstring_view(type).substr(0, type.find(L';')));
        return EqualsNoCase(mediaType, L"text/html") ? 0 : 2;
    }

    CHref m_alternate;
    CHref m_last;
    int m_nAlternateRank = kNoAlternate;
    CRssEnclosure m_enclosure;
    const xmlNode* m_pEnclosureNode = nullptr;
};

// Atom 1.0 says "xhtml"; Atom 0.3 gives a MIME type.
bool IsXhtml(const xmlNode* node)
{
    for (const xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        if (NameIs(reinterpret_cast<const xmlNode*>(attribute), "type")) {
            const std::wstring type = AttributeValue(attribute);
            return EqualsNoCase(type, L"xhtml") || EqualsNoCase(type, L"application/xhtml+xml");
        }
    }
    return false;
}

// The div that wraps xhtml content when it is the only element inside.
const xmlNode* XhtmlWrapper(const xmlNode* node)
{
    const xmlNode* only = nullptr;
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (only != nullptr)
            return nullptr;
        only = child;
    }
    return only != nullptr && NameIs(only, "div") ? only : nullptr;
}

enum class AtomTextUse { Title, Markup };

// A text construct (title, summary, content): its text, or for xhtml the
// markup inside it (inside its wrapping div), which would otherwise be lost
// since it holds elements rather than text. Elements in a construct of
// another type (HTML written unescaped, Atom 0.3 "mode=xml") give a title
// their words and a summary or content their markup.
std::wstring AtomText(xmlDoc* doc, const xmlNode* node, AtomTextUse use, size_t limit = std::wstring::npos)
{
    std::wstring text;
    if (IsXhtml(node)) {
        const xmlNode* wrapper = XhtmlWrapper(node);
        text = Trim(InnerMarkup(doc, wrapper != nullptr ? wrapper : node));
    } else {
        text = use == AtomTextUse::Title ? DescendantsValue(node) : MarkupValue(node);
    }
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

} // namespace

std::unique_ptr<CRssItem> ParseAtomEntry(xmlDoc* doc, const xmlNode* entryNode)
{
    auto item = std::make_unique<CRssItem>();
    CAtomLinkChoice link;
    CExtensionTexts extensions;
    CDateTime published; // stands in for a missing "updated"
    std::wstring id;
    for (const xmlNode* child = entryNode->children; child != nullptr; child = child->next) {
        if (!IsAtomField(child)) {
            ReadExtensionElement(child, extensions);
            continue;
        }
        if (NameIs(child, "title")) {
            item->title = AtomText(doc, child, AtomTextUse::Title);
        } else if (NameIs(child, "link")) {
            link.Offer(child);
        } else if (NameIs(child, "modified") || NameIs(child, "updated")) {
            ReadW3cDateElement(child, item->date);
        } else if (NameIs(child, "published") || NameIs(child, "issued") || NameIs(child, "created")) {
            ReadW3cDateElement(child, published);
        } else if (NameIs(child, "summary")) {
            item->description = AtomText(doc, child, AtomTextUse::Markup, kMaxDescriptionLength);
        } else if (NameIs(child, "content")) {
            item->content = AtomText(doc, child, AtomTextUse::Markup, kMaxDescriptionLength);
        } else if (NameIs(child, "author")) {
            for (const xmlNode* part = child->children; part != nullptr; part = part->next) {
                if (part->type == XML_ELEMENT_NODE && NameIs(part, "name"))
                    item->author = NodeText(part);
            }
        } else if (NameIs(child, "id")) {
            id = NodeValue(child);
        } else if (child->ns == nullptr) {
            ReadExtensionElement(child, extensions); // an undeclared prefix: "dc:date"
        }
    }
    const xmlNode* linkNode = link.ApplyTo(item->link);
    const xmlNode* enclosureNode = link.ApplyEnclosureTo(item->enclosure);
    ResolveItemLinks(*item, linkNode, enclosureNode, std::move(id));
    if (item->description.empty())
        item->description.swap(item->content);
    if (!IsDateSet(item->date))
        item->date = published;
    ApplyExtensionTexts(extensions, *item, true);
    return item;
}

void ParseAtomFeed(xmlDoc* doc, const xmlNode* feedNode, CRssChannel& channel)
{
    CAtomLinkChoice link;
    for (const xmlNode* child = feedNode->children; child != nullptr; child = child->next) {
        if (!IsAtomField(child))
            continue;
        if (NameIs(child, "title")) {
            channel.title = AtomText(doc, child, AtomTextUse::Title);
        } else if (NameIs(child, "link")) {
            link.Offer(child);
        } else if (NameIs(child, "copyright")) {
            channel.copyright = NodeValue(child);
        } else if (NameIs(child, "modified") || NameIs(child, "updated")) {
            ReadW3cDateElement(child, channel.pubDate);
        } else if (NameIs(child, "entry")) {
            channel.items.push_back(ParseAtomEntry(doc, child));
        }
    }
    if (const xmlNode* linkNode = link.ApplyTo(channel.link))
        channel.link = ResolveLink(linkNode, std::move(channel.link));
}
