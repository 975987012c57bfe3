// Extension elements that stand in for fields a feed leaves empty.

#include <libxml/xmlstring.h>

#include "content/FeedDialects.h"
#include "content/TextUtil.h"
#include "content/XmlReader.h"

namespace {

struct CExtensionNamespace {
    const char* prefix; // the prefix feeds write it with
    const char* uri;
};

constexpr CExtensionNamespace kDublinCore{"dc", "http://purl.org/dc/elements/1.1/"};
constexpr CExtensionNamespace kMediaRss{"media", "http://search.yahoo.com/mrss/"};
constexpr CExtensionNamespace kItunes{"itunes", "http://www.itunes.com/dtds/podcast-1.0.dtd"};

// The same namespace name, with or without a final "/" and without regard
// to case: feeds copy these by hand.
bool SameNamespace(const xmlChar* href, const char* uri)
{
    size_t hrefLength = static_cast<size_t>(xmlStrlen(href));
    size_t uriLength = std::char_traits<char>::length(uri);
    if (hrefLength > 0 && href[hrefLength - 1] == '/')
        --hrefLength;
    if (uriLength > 0 && uri[uriLength - 1] == '/')
        --uriLength;
    return hrefLength == uriLength &&
           xmlStrncasecmp(href, reinterpret_cast<const xmlChar*>(uri), static_cast<int>(uriLength)) == 0;
}

// An element of the extension by that local name: in the extension's
// namespace, or in one bound to its usual prefix, or written with that
// prefix left undeclared (libxml2 then keeps "prefix:name" as the name).
bool IsExtension(const xmlNode* node, const CExtensionNamespace& extension, const char* localName)
{
    if (node->ns != nullptr) {
        return NameIs(node, localName) &&
               ((node->ns->href != nullptr && SameNamespace(node->ns->href, extension.uri)) ||
                (node->ns->prefix != nullptr &&
                 xmlStrcasecmp(node->ns->prefix, reinterpret_cast<const xmlChar*>(extension.prefix)) == 0));
    }
    const auto* name = reinterpret_cast<const char*>(node->name);
    const size_t prefixLength = std::char_traits<char>::length(extension.prefix);
    return name != nullptr &&
           xmlStrncasecmp(node->name, reinterpret_cast<const xmlChar*>(extension.prefix),
                          static_cast<int>(prefixLength)) == 0 &&
           name[prefixLength] == ':' &&
           xmlStrcasecmp(node->name + prefixLength + 1, reinterpret_cast<const xmlChar*>(localName)) == 0;
}

// The page key's first two choices (store/PageRecord.h says the same).
const std::wstring& LinkElseEnclosure(const std::wstring& link, const std::wstring& enclosureUrl)
{
    return link.empty() ? enclosureUrl : link;
}

std::wstring DescriptionText(const xmlNode* node)
{
    std::wstring text = MarkupValue(node);
    CutToDescriptionLimit(text);
    return text;
}

} // namespace

bool ReadExtensionElement(const xmlNode* node, CExtensionTexts& texts)
{
    if (node->type != XML_ELEMENT_NODE || node->name == nullptr)
        return false;
    if (IsExtension(node, kDublinCore, "title")) {
        texts.title = DescendantsValue(node);
    } else if (IsExtension(node, kDublinCore, "description")) {
        texts.description = DescriptionText(node);
    } else if (IsExtension(node, kDublinCore, "creator")) {
        texts.creator = NodeValue(node);
    } else if (IsExtension(node, kDublinCore, "date")) {
        ReadW3cDateElement(node, texts.date);
    } else if (IsExtension(node, kMediaRss, "description")) {
        texts.mediaDescription = DescriptionText(node);
    } else if (IsExtension(node, kMediaRss, "group")) {
        // YouTube keeps the description of a video in its group.
        for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
            if (child->type == XML_ELEMENT_NODE && IsExtension(child, kMediaRss, "description"))
                texts.mediaDescription = DescriptionText(child);
        }
    } else if (IsExtension(node, kItunes, "summary")) {
        texts.itunesSummary = DescriptionText(node);
    } else {
        return false;
    }
    return true;
}

void ApplyExtensionTexts(CExtensionTexts& texts, CRssItem& item, bool contentEmpty)
{
    if (item.title.empty())
        item.title = std::move(texts.title);
    if (item.author.empty())
        item.author = std::move(texts.creator);
    if (item.description.empty())
        item.description = std::move(texts.description);
    if (item.description.empty() && contentEmpty)
        item.description = std::move(texts.mediaDescription.empty() ? texts.itunesSummary : texts.mediaDescription);
    if (!IsDateSet(item.date))
        item.date = texts.date;
}

bool IsDateSet(const CDateTime& date) { return !date.IsValid() || date.GetDays() != 0; }

void ResolveItemLinks(CRssItem& item, const xmlNode* linkNode, const xmlNode* enclosureNode, std::wstring&& id)
{
    const std::wstring written = LinkElseEnclosure(item.link, item.enclosure.url);
    if (linkNode != nullptr)
        item.link = ResolveLink(linkNode, std::move(item.link));
    if (enclosureNode != nullptr)
        item.enclosure.url = ResolveLink(enclosureNode, std::move(item.enclosure.url));
    item.key = LinkElseEnclosure(item.link, item.enclosure.url);
    if (item.key.empty())
        item.key = std::move(id);
    else if (item.key != written)
        item.writtenKey = written;
}
