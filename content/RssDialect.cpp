// RSS 0.9x/2.0 and RSS 1.0 (RDF) channels and items.

#include <algorithm>
#include <climits>
#include <cwctype>

#include "content/FeedDialects.h"
#include "content/TextUtil.h"
#include "content/XmlReader.h"

namespace {

// Children read from an RSS element: those of the element's own namespace,
// and of other namespaces only content:encoded and dc:date. Other extension
// elements (atom:link, media:title, itunes:author, ...) would otherwise
// overwrite, or empty, the fields whose names they share. With their
// prefixes undeclared, the two keep them in their names and have no
// namespace, which under an RSS 1.0 default namespace makes them foreign.
bool IsRssField(const xmlNode* node)
{
    return node->type == XML_ELEMENT_NODE
           && (!IsForeignElement(node) || NameIs(node, "encoded") || NameIs(node, "date")
               || NameIs(node, "content:encoded") || NameIs(node, "dc:date"));
}

} // namespace

std::int32_t ParseLength(const std::wstring& text)
{
    size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-'))
        negative = text[pos++] == L'-';
    long long value = 0;
    for (; pos < text.size() && std::iswdigit(text[pos]); ++pos)
        value = std::min<long long>(value * 10 + (text[pos] - L'0'), static_cast<long long>(INT_MAX) + 1);
    value = negative ? -value : std::min<long long>(value, INT_MAX);
    return static_cast<std::int32_t>(std::max<long long>(value, INT_MIN));
}

namespace {

// True when the element gave the enclosure its URL.
bool ReadEnclosure(const xmlNode* node, CRssEnclosure& enclosure)
{
    bool url = false;
    for (const xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        const auto* asNode = reinterpret_cast<const xmlNode*>(attribute);
        if (NameIs(asNode, "url")) {
            enclosure.url = AttributeValue(attribute);
            url = true;
        }
        else if (NameIs(asNode, "type"))
            enclosure.type = AttributeValue(attribute);
        else if (NameIs(asNode, "length"))
            enclosure.length = ParseLength(AttributeValue(attribute));
    }
    return url;
}

// A guid is a permalink unless isPermaLink says otherwise; it serves as
// the link only when it is a web address.
bool IsPermalinkGuid(const xmlNode* node, const std::wstring& guid)
{
    for (const xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        if (NameIs(reinterpret_cast<const xmlNode*>(attribute), "ispermalink") &&
            !EqualsNoCase(AttributeValue(attribute), L"true"))
            return false;
    }
    const std::wstring_view text(guid);
    return EqualsNoCase(text.substr(0, 7), L"http://") || EqualsNoCase(text.substr(0, 8), L"https://");
}

void ReadSource(const xmlNode* node, CRssItem& item)
{
    for (const xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        if (NameIs(reinterpret_cast<const xmlNode*>(attribute), "url"))
            item.sourceUrl = AttributeValue(attribute);
    }
    item.sourceText = NodeValue(node);
}

std::wstring RssTitle(const xmlNode* node)
{
    std::wstring title = DescendantsValue(node);
    DecodeBasicEntities(title);
    std::replace(title.begin(), title.end(), L'\n', L' ');
    return title;
}

// Items without a title are named after their description's text.
std::wstring TitleFromDescription(const std::wstring& description)
{
    std::wstring text = StripMarkup(description);
    if (text.size() < 51)
        return text;
    return text.substr(0, 50) + L"...";
}

} // namespace

void ParseRssChannel(const xmlNode* channelNode, CRssChannel& channel)
{
    CExtensionTexts extensions;
    const xmlNode* linkNode = nullptr;
    for (const xmlNode* child = channelNode->children; child != nullptr; child = child->next) {
        if (!IsRssField(child)) {
            ReadExtensionElement(child, extensions);
            continue;
        }
        if (NameIs(child, "title")) {
            channel.title = DescendantsValue(child);
            DecodeBasicEntities(channel.title);
        } else if (NameIs(child, "link")) {
            channel.link = NodeValue(child);
            linkNode = child;
        } else if (NameIs(child, "language")) {
            channel.language = NodeValue(child);
        } else if (NameIs(child, "description")) {
            channel.description = MarkupValue(child);
        } else if (NameIs(child, "copyright")) {
            channel.copyright = NodeValue(child);
        } else if (NameIs(child, "managingeditor")) {
            channel.managingEditor = NodeValue(child);
        } else if (NameIs(child, "webmaster")) {
            channel.webMaster = NodeValue(child);
        } else if (NameIs(child, "category")) {
            channel.category = NodeValue(child);
        } else if (NameIs(child, "docs")) {
            channel.docs = NodeValue(child);
        } else if (NameIs(child, "cloud")) {
            channel.cloud = NodeValue(child);
        } else if (NameIs(child, "ttl")) {
            channel.ttl = NodeValue(child);
        } else if (NameIs(child, "pubdate")) {
            ReadDateElement(child, channel.pubDate);
        } else if (NameIs(child, "lastbuilddate")) {
            ReadDateElement(child, channel.lastBuildDate);
        } else if (NameIs(child, "item")) {
            channel.items.push_back(ParseRssItem(child));
        } else if (NameIs(child, "date") || NameIs(child, "dc:date")) {
            ReadW3cDateElement(child, extensions.date);
        } else if (child->ns == nullptr) {
            ReadExtensionElement(child, extensions); // an undeclared prefix: "dc:title"
        }
    }
    if (linkNode != nullptr)
        channel.link = ResolveLink(linkNode, std::move(channel.link));
    if (channel.title.empty()) {
        channel.title = std::move(extensions.title);
        DecodeBasicEntities(channel.title);
    }
    if (channel.description.empty())
        channel.description = std::move(extensions.description);
    if (channel.managingEditor.empty())
        channel.managingEditor = std::move(extensions.creator);
    if (!IsDateSet(channel.pubDate))
        channel.pubDate = extensions.date;
}

std::unique_ptr<CRssItem> ParseRssItem(const xmlNode* itemNode)
{
    auto item = std::make_unique<CRssItem>();
    CExtensionTexts extensions;
    const xmlNode* linkNode = nullptr;
    const xmlNode* enclosureNode = nullptr;
    const xmlNode* guidNode = nullptr;
    std::wstring guid;
    for (const xmlNode* child = itemNode->children; child != nullptr; child = child->next) {
        if (!IsRssField(child)) {
            ReadExtensionElement(child, extensions);
            continue;
        }
        if (NameIs(child, "title")) {
            item->title = RssTitle(child);
        } else if (NameIs(child, "description")) {
            item->description = MarkupValue(child);
            CutToDescriptionLimit(item->description);
        } else if (NameIs(child, "content:encoded") || NameIs(child, "encoded")) {
            item->encodedContent = MarkupValue(child);
        } else if (NameIs(child, "link")) {
            item->link = NodeValue(child);
            linkNode = child;
        } else if (NameIs(child, "author")) {
            item->author = NodeValue(child);
        } else if (NameIs(child, "category")) {
            item->category = NodeValue(child);
        } else if (NameIs(child, "source")) {
            ReadSource(child, *item);
        } else if (NameIs(child, "pubdate")) {
            ReadDateElement(child, item->date);
        } else if (NameIs(child, "date") || NameIs(child, "dc:date")) {
            ReadW3cDateElement(child, item->date);
        } else if (NameIs(child, "enclosure")) {
            if (ReadEnclosure(child, item->enclosure))
                enclosureNode = child;
        } else if (NameIs(child, "guid")) {
            guid = NodeValue(child);
            guidNode = child;
        } else if (child->ns == nullptr) {
            ReadExtensionElement(child, extensions); // an undeclared prefix: "dc:title"
        }
    }
    const bool permalink = guidNode != nullptr && IsPermalinkGuid(guidNode, guid);
    ResolveItemLinks(*item, linkNode, enclosureNode, permalink ? std::wstring(guid) : std::move(guid));
    if (item->link.empty() && permalink)
        item->link = std::move(guid);
    if (item->title.empty() && !extensions.title.empty()) {
        DecodeBasicEntities(extensions.title);
        std::replace(extensions.title.begin(), extensions.title.end(), L'\n', L' ');
    }
    ApplyExtensionTexts(extensions, *item, item->encodedContent.empty());
    if (item->title.empty())
        item->title = TitleFromDescription(item->description);
    return item;
}
