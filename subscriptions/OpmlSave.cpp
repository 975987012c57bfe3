// Writing a COpmlDoc as an OPML file.

#include <libxml/tree.h>

#include "content/DateText.h"
#include "content/XmlReader.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "subscriptions/OpmlFile.h"

namespace {

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

void SetAttribute(xmlNode* node, const char* name, const std::wstring& value)
{
    if (!value.empty())
        xmlNewProp(node, X(name), X(WideToUtf8(value).c_str()));
}

void WriteOutlines(xmlNode* parent, const COutlineList& outlines)
{
    for (const auto& outline : outlines) {
        xmlNode* node = xmlNewNode(nullptr, X("outline"));
        xmlAddChild(parent, node);
        SetAttribute(node, "title", outline->title);
        SetAttribute(node, "text", outline->text);
        SetAttribute(node, "description", outline->description);
        SetAttribute(node, "type", outline->type);
        SetAttribute(node, "version", outline->version);
        SetAttribute(node, "url", outline->url);
        SetAttribute(node, "xmlUrl", outline->xmlUrl);
        SetAttribute(node, "htmlUrl", outline->htmlUrl);
        SetAttribute(node, "zelviaFlag", outline->zelviaFlag);
        WriteOutlines(node, outline->children);
    }
}

CXmlDocPtr BuildDocument(const COpmlDoc& doc)
{
    CXmlDocPtr xml(xmlNewDoc(X("1.0")));
    xmlNode* root = xmlNewNode(nullptr, X("opml"));
    xmlDocSetRootElement(xml.get(), root);
    SetAttribute(root, "version", doc.version);
    if (!doc.namespaceAttr.empty())
        xmlNewProp(root, X(WideToUtf8(doc.namespaceAttr).c_str()), X(WideToUtf8(doc.namespaceUri).c_str()));

    xmlNode* head = xmlNewNode(nullptr, X("head"));
    xmlAddChild(root, head);
    SetAttribute(head, "title", kOpmlGeneratedTitle);
    SetAttribute(head, "ownerName", kOpmlOwnerName);
    SetAttribute(head, "ownerEmail", kOpmlOwnerEmail);
    SetAttribute(head, "dateCreated", FormatSystemTime(GetSystemTime(), kOpmlDateFormat));

    xmlNode* body = xmlNewNode(nullptr, X("body"));
    xmlAddChild(root, body);
    WriteOutlines(body, doc.outlines);
    return xml;
}

} // namespace

bool SaveOpmlFile(const COpmlDoc& doc, const std::wstring& path)
{
    const CXmlDocPtr xml = BuildDocument(doc);
    xmlChar* bytes = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(xml.get(), &bytes, &size, "UTF-8", 1);
    if (bytes == nullptr)
        return false;
    const std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    xmlFree(bytes);

    const std::wstring temporary = MakeTemporarySibling(path);
    return WriteNewFile(temporary, text) && ReplaceFileAtomically(temporary, path);
}
