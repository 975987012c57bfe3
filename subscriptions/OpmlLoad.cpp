// Loading an OPML file into a COpmlDoc.

#include "content/DateText.h"
#include "content/TextUtil.h"
#include "content/XmlReader.h"
#include "platform/Unicode.h"
#include "subscriptions/OpmlFile.h"

namespace {

// Head values come from the head's attributes first, then from its child
// elements; for each field the first non-empty value wins.
void ReadHeadValue(const xmlNode* named, const std::wstring& value, COpmlDoc& doc)
{
    if (value.empty())
        return;
    if (NameIs(named, "title")) {
        if (doc.title.empty())
            doc.title = value;
    } else if (NameIs(named, "ownername")) {
        if (doc.ownerName.empty())
            doc.ownerName = value;
    } else if (NameIs(named, "owneremail")) {
        if (doc.ownerEmail.empty())
            doc.ownerEmail = value;
    } else if (NameIs(named, "datecreated")) {
        if (!doc.dateCreated.IsValid())
            doc.dateCreated = ParseDateText(value);
    } else if (NameIs(named, "datemodified")) {
        if (!doc.dateModified.IsValid())
            doc.dateModified = ParseDateText(value);
    }
}

void ReadHead(const xmlNode* head, COpmlDoc& doc)
{
    for (const xmlAttr* attribute = head->properties; attribute != nullptr; attribute = attribute->next)
        ReadHeadValue(reinterpret_cast<const xmlNode*>(attribute), AttributeValue(attribute), doc);
    for (const xmlNode* child = head->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE)
            ReadHeadValue(child, NodeValue(child), doc);
    }
}

// Nothing when the outline has neither title nor text, unless it is a feed:
// exports of other readers leave both empty for feeds they have not fetched
// yet, and such a feed is named after the host of its URL.
std::unique_ptr<COutline> ReadOutline(const xmlNode* node)
{
    auto outline = std::make_unique<COutline>();
    for (const xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        const std::wstring value = AttributeValue(attribute);
        if (value.empty())
            continue;
        const auto* named = reinterpret_cast<const xmlNode*>(attribute);
        if (NameIs(named, "title"))
            outline->title = value;
        else if (NameIs(named, "text"))
            outline->text = value;
        else if (NameIs(named, "description"))
            outline->description = value;
        else if (NameIs(named, "type"))
            outline->type = value;
        else if (NameIs(named, "version"))
            outline->version = value;
        else if (NameIs(named, "url"))
            outline->url = value;
        else if (NameIs(named, "xmlurl"))
            outline->xmlUrl = value;
        else if (NameIs(named, "htmlurl"))
            outline->htmlUrl = value;
        else if (NameIs(named, "zelviaFlag"))
            outline->zelviaFlag = value;
    }
    if (outline->title.empty() && outline->text.empty() && !outline->xmlUrl.empty()) {
        outline->text = HostOfUrl(outline->xmlUrl);
        if (outline->text.empty())
            outline->text = outline->xmlUrl;
    }
    if (outline->title.empty())
        outline->title = outline->text;
    outline->text.clear();
    if (outline->title.empty())
        return nullptr;
    outline->kind = outline->xmlUrl.empty() ? OutlineKindFolder : OutlineKindFeed;
    return outline;
}

void ReadOutlines(const xmlNode* parent, COutlineList& list)
{
    for (const xmlNode* child = parent->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE || !NameIs(child, "outline"))
            continue;
        if (auto outline = ReadOutline(child)) {
            ReadOutlines(child, outline->children);
            list.push_back(std::move(outline));
        }
    }
}

} // namespace

std::unique_ptr<COpmlDoc> LoadOpmlFile(const std::wstring& path, bool* clean)
{
    CXmlReadNotes notes;
    CXmlDocPtr xml = ReadXmlFile(path, &notes);
    if (clean != nullptr)
        *clean = xml && !notes.repairable;
    if (notes.repairable && XmlFileNeedsRepair(path)) {
        if (CXmlDocPtr repaired = ReadRepairedXmlFile(path))
            xml = std::move(repaired);
    }
    if (!xml)
        return nullptr;
    const xmlNode* root = xmlDocGetRootElement(xml.get());
    const xmlNode* opml = root != nullptr ? FindElementDepthFirst(root, "opml") : nullptr;
    if (opml == nullptr)
        return nullptr;

    auto doc = std::make_unique<COpmlDoc>();
    for (const xmlAttr* attribute = opml->properties; attribute != nullptr; attribute = attribute->next) {
        if (NameIs(reinterpret_cast<const xmlNode*>(attribute), "version"))
            doc->version = AttributeValue(attribute);
    }
    // Only a prefixed first declaration is kept; a default namespace is not.
    if (opml->nsDef != nullptr && opml->nsDef->prefix != nullptr) {
        doc->namespaceUri = Utf8ToWide(reinterpret_cast<const char*>(opml->nsDef->href));
        doc->namespaceAttr = L"xmlns:" + Utf8ToWide(reinterpret_cast<const char*>(opml->nsDef->prefix));
    }

    const xmlNode* body = nullptr;
    if (const xmlNode* head = FindElementDepthFirst(opml, "head")) {
        ReadHead(head, *doc);
        body = FindElementSibling(head, "body");
    } else {
        body = FindElementDepthFirst(root, "body");
    }
    if (body != nullptr)
        ReadOutlines(body, doc->outlines);
    return doc;
}
