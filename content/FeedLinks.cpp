#include "content/FeedLinks.h"

#include <libxml/HTMLparser.h>
#include <libxml/uri.h>

#include <algorithm>
#include <memory>

#include "content/TextUtil.h"
#include "content/XmlReader.h"
#include "platform/Unicode.h"

namespace {

// HTML_PARSE_NONET: a page can never make the parser reach the network.
constexpr int kHtmlReadOptions =
    HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_NOIMPLIED;

constexpr const char* kFeedTypes[] = {"application/rss+xml", "application/atom+xml", "application/rdf+xml"};

// The elements a page may start with, as browsers sniff them.
constexpr const char* kHtmlStarts[] = {"!doctype html", "html", "head", "body", "script", "iframe", "h1", "div",
                                       "font", "table", "a", "style", "title", "b", "br", "p", "meta", "link"};

char AsciiLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

bool BytesStartNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

bool IsHtmlSpace(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f'; }

std::string Attribute(xmlNode* node, const char* name)
{
    const CXmlCharPtr value(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
    return value ? reinterpret_cast<const char*>(value.get()) : std::string();
}

std::string TrimHtmlSpace(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n\f");
    const size_t last = text.find_last_not_of(" \t\r\n\f");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string LowerTrimmedValue(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
    return TrimHtmlSpace(text);
}

bool HasRelAlternate(const std::string& rel)
{
    const std::string tokens = " " + LowerTrimmedValue(rel) + " ";
    std::string normal;
    for (const char ch : tokens)
        normal += IsHtmlSpace(ch) ? ' ' : ch;
    return normal.find(" alternate ") != std::string::npos;
}

// The type without parameters ("application/rss+xml; charset=utf-8").
std::string FeedType(const std::string& type)
{
    const std::string bare = LowerTrimmedValue(type.substr(0, type.find(';')));
    const auto known = std::find(std::begin(kFeedTypes), std::end(kFeedTypes), bare);
    return known != std::end(kFeedTypes) ? bare : std::string();
}

// href resolved against base; empty when it cannot be, or is not a web address.
std::string Resolve(const std::string& href, const std::string& base)
{
    const std::string trimmed = TrimHtmlSpace(href);
    if (trimmed.empty())
        return {};
    const CXmlCharPtr built(xmlBuildURI(reinterpret_cast<const xmlChar*>(trimmed.c_str()),
                                        reinterpret_cast<const xmlChar*>(base.c_str())));
    if (!built)
        return {};
    const std::string url = reinterpret_cast<const char*>(built.get());
    return BytesStartNoCase(url, "http://") || BytesStartNoCase(url, "https://") ? url : std::string();
}

xmlNode* FindElement(xmlNode* node, const char* name)
{
    for (; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        if (NameIs(node, name))
            return node;
        if (xmlNode* found = FindElement(node->children, name))
            return found;
    }
    return nullptr;
}

void CollectLinks(xmlNode* node, const std::string& base, std::vector<CFeedLink>& links)
{
    for (; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        if (NameIs(node, "link") && HasRelAlternate(Attribute(node, "rel"))) {
            const std::string type = FeedType(Attribute(node, "type"));
            const std::string url = type.empty() ? std::string() : Resolve(Attribute(node, "href"), base);
            if (!url.empty()) {
                CFeedLink link{Utf8ToWide(url), Trim(Utf8ToWide(Attribute(node, "title"))), Utf8ToWide(type)};
                const bool seen = std::any_of(links.begin(), links.end(),
                                              [&](const CFeedLink& other) { return other.url == link.url; });
                if (!seen)
                    links.push_back(std::move(link));
            }
        }
        CollectLinks(node->children, base, links);
    }
}

} // namespace

bool LooksLikeHtml(std::string_view bytes)
{
    if (BytesStartNoCase(bytes, "\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    // An XML declaration (XHTML) and comments may come first.
    for (int skipped = 0; skipped < 16; ++skipped) {
        while (!bytes.empty() && IsHtmlSpace(bytes.front()))
            bytes.remove_prefix(1);
        const bool declaration = BytesStartNoCase(bytes, "<?xml");
        const bool comment = BytesStartNoCase(bytes, "<!--");
        if (!declaration && !comment)
            break;
        const size_t end = bytes.find(declaration ? "?>" : "-->");
        if (end == std::string_view::npos)
            return false;
        bytes.remove_prefix(end + (declaration ? 2 : 3));
    }
    if (bytes.empty() || bytes.front() != '<')
        return false;
    bytes.remove_prefix(1);
    for (const char* start : kHtmlStarts) {
        const std::string_view name(start);
        if (BytesStartNoCase(bytes, name) &&
            (bytes.size() == name.size() || IsHtmlSpace(bytes[name.size()]) || bytes[name.size()] == '>' ||
             bytes[name.size()] == '/'))
            return true;
    }
    return false;
}

std::vector<CFeedLink> FindFeedLinks(std::string_view html, const std::wstring& pageUrl)
{
    std::vector<CFeedLink> links;
    if (html.empty() || html.size() > static_cast<size_t>(INT32_MAX))
        return links;
    const std::string url = WideToUtf8(pageUrl);
    const CXmlDocPtr doc(htmlReadMemory(html.data(), static_cast<int>(html.size()), url.c_str(), nullptr,
                                        kHtmlReadOptions));
    if (!doc)
        return links;
    xmlNode* root = xmlDocGetRootElement(doc.get());
    std::string base = url;
    if (xmlNode* baseElement = FindElement(root, "base")) {
        const std::string resolved = Resolve(Attribute(baseElement, "href"), url);
        if (!resolved.empty())
            base = resolved;
    }
    CollectLinks(root, base, links);
    return links;
}
