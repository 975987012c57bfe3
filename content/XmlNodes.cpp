// The node helpers of content/XmlReader.h: names, texts, markup and links
// of the elements a walker reads.
#include <libxml/uri.h>

#include "content/XmlReader.h"
#include "platform/Unicode.h"

namespace {

// The text one child node contributes: text, CDATA, or for a reference to
// an entity the document declares, its replacement text one level deep (no
// recursion, so no amplification).
void AppendNodeText(const xmlNode* child, std::string& out)
{
    if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) && child->content != nullptr) {
        out += reinterpret_cast<const char*>(child->content);
    } else if (child->type == XML_ENTITY_REF_NODE) {
        const xmlEntity* entity = xmlGetDocEntity(child->doc, child->name);
        if (entity != nullptr && entity->etype == XML_INTERNAL_GENERAL_ENTITY && entity->content != nullptr)
            out += reinterpret_cast<const char*>(entity->content);
    }
}

void AppendText(const xmlNode* node, std::string& out)
{
    for (const xmlNode* child = node->children; child != nullptr; child = child->next)
        AppendNodeText(child, out);
}

bool IsXmlSpace(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f'; }

} // namespace

namespace {

// RFC 3986: a scheme is a letter, then letters, digits, "+", "-" or ".",
// then ":".
template <typename Char>
bool HasScheme(const Char* uri, size_t length)
{
    const auto isAlpha = [](Char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); };
    if (length == 0 || !isAlpha(uri[0]))
        return false;
    for (size_t i = 1; i < length; ++i) {
        const Char ch = uri[i];
        if (ch == ':')
            return true;
        if (!isAlpha(ch) && !(ch >= '0' && ch <= '9') && ch != '+' && ch != '-' && ch != '.')
            return false;
    }
    return false;
}

bool HasScheme(const CXmlCharPtr& uri)
{
    return uri && HasScheme(uri.get(), static_cast<size_t>(xmlStrlen(uri.get())));
}

} // namespace

std::wstring ResolveLink(const xmlNode* node, std::wstring link)
{
    // Nearly every link is absolute: it costs this test and nothing more.
    if (link.empty() || HasScheme(link.data(), link.size()) || node == nullptr || node->doc == nullptr)
        return link;
    const CXmlCharPtr base(xmlNodeGetBase(node->doc, node));
    if (!HasScheme(base))
        return link;
    const std::string written = WideToUtf8(link);
    const CXmlCharPtr resolved(xmlBuildURI(reinterpret_cast<const xmlChar*>(written.c_str()), base.get()));
    if (!HasScheme(resolved))
        return link;
    return Utf8ToWide(reinterpret_cast<const char*>(resolved.get()));
}

bool NameIs(const xmlNode* node, const char* name)
{
    return node->name != nullptr && xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

namespace {

// The text of an element, without copying it when it is a single text node
// (the common case); otherwise joined into storage.
std::string_view JoinedText(const xmlNode* node, std::string& storage)
{
    const xmlNode* only = node->children;
    if (only != nullptr && only->next == nullptr
        && (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE) && only->content != nullptr)
        return reinterpret_cast<const char*>(only->content);
    AppendText(node, storage);
    return storage;
}

std::string_view TrimSpace(std::string_view text)
{
    while (!text.empty() && IsXmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsXmlSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::wstring NodeText(const xmlNode* node)
{
    std::string storage;
    return Utf8ToWide(JoinedText(node, storage));
}

std::wstring NodeValue(const xmlNode* node)
{
    std::string storage;
    return Utf8ToWide(TrimSpace(JoinedText(node, storage)));
}

std::wstring DescendantsValue(const xmlNode* node)
{
    if (!HoldsElements(node))
        return NodeValue(node);
    // Iterative walk in document order: elements nest as deep as the parser
    // allows.
    std::string text;
    const xmlNode* current = node->children;
    while (current != nullptr) {
        if (current->type == XML_ELEMENT_NODE && current->children != nullptr) {
            current = current->children;
            continue;
        }
        AppendNodeText(current, text);
        while (current != node && current->next == nullptr)
            current = current->parent;
        current = current == node ? nullptr : current->next;
    }
    return Utf8ToWide(TrimSpace(text));
}

bool HoldsElements(const xmlNode* node)
{
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE)
            return true;
    }
    return false;
}

std::wstring MarkupValue(const xmlNode* node)
{
    if (!HoldsElements(node))
        return NodeValue(node);
    // The text beside the elements is taken as it reads, as is the text of
    // an element that holds none: escaped HTML and CDATA are HTML already.
    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), xmlBufferFree);
    if (!buffer)
        return NodeValue(node);
    std::string markup;
    for (xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) {
            AppendNodeText(child, markup);
            continue;
        }
        xmlBufferEmpty(buffer.get());
        xmlNodeDump(buffer.get(), child->doc, child, 0, 0);
        markup += reinterpret_cast<const char*>(xmlBufferContent(buffer.get()));
    }
    return Utf8ToWide(TrimSpace(markup));
}

std::wstring_view ShortNodeValue(const xmlNode* node, CShortText& buffer)
{
    std::string storage;
    const std::string_view text = TrimSpace(JoinedText(node, storage));
    if (text.size() > std::size(buffer.chars)) {
        buffer.overflow = Utf8ToWide(text);
        return buffer.overflow;
    }
    return std::wstring_view(buffer.chars, Utf8ToWideInto(text, buffer.chars));
}

std::wstring AttributeValue(const xmlAttr* attribute)
{
    return NodeValue(reinterpret_cast<const xmlNode*>(attribute));
}

bool IsForeignElement(const xmlNode* node)
{
    const xmlNs* own = node->ns;
    const xmlNs* parents = node->parent != nullptr && node->parent->type == XML_ELEMENT_NODE ? node->parent->ns : nullptr;
    if (own == nullptr || parents == nullptr)
        return own != parents;
    return !xmlStrEqual(own->href, parents->href);
}

std::wstring InnerMarkup(xmlDoc* doc, const xmlNode* node)
{
    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), xmlBufferFree);
    if (!buffer)
        return L"";
    for (xmlNode* child = node->children; child != nullptr; child = child->next)
        xmlNodeDump(buffer.get(), doc, child, 0, 0);
    return Utf8ToWide(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())));
}

const xmlNode* FindElementDepthFirst(const xmlNode* start, const char* name)
{
    // Iterative pre-order walk: documents nest as deep as the parser allows.
    const xmlNode* node = start;
    while (node != nullptr) {
        if (node->type == XML_ELEMENT_NODE && NameIs(node, name))
            return node;
        if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
            node = node->children;
            continue;
        }
        while (node != nullptr && node != start && node->next == nullptr)
            node = node->parent;
        if (node == nullptr || node == start)
            return nullptr;
        node = node->next;
    }
    return nullptr;
}

const xmlNode* FindElementSibling(const xmlNode* start, const char* name)
{
    for (const xmlNode* node = start; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && NameIs(node, name))
            return node;
    }
    return nullptr;
}
