#pragma once
// Reading XML documents (feeds, subscription files, the search keyword
// file) into libxml2 trees, and the small node helpers their walkers share.
// Names compare without regard to case; texts come back as wide strings.

#include <libxml/tree.h>
#include <memory>
#include <string>

#include "content/XmlRepair.h"

struct CXmlDocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using CXmlDocPtr = std::unique_ptr<xmlDoc, CXmlDocDeleter>;
// A string libxml2 allocated (xmlGetProp, xmlBuildURI, ...).
struct CXmlCharDeleter {
    void operator()(xmlChar* text) const { xmlFree(text); }
};
using CXmlCharPtr = std::unique_ptr<xmlChar, CXmlCharDeleter>;

// RECOVER | NOERROR | NOWARNING | NSCLEAN | NOCDATA: malformed documents give
// what can be recovered, silently, and CDATA arrives as ordinary text.
// Neither entity substitution nor DTD loading is on, so a document can never
// make the parser read another file or reach the network.
inline constexpr int kXmlReadOptions = XML_PARSE_RECOVER | XML_PARSE_NOERROR | XML_PARSE_NOWARNING
                                       | XML_PARSE_NSCLEAN | XML_PARSE_NOCDATA;
static_assert(kXmlReadOptions == 24673);

// What a caller asks of one read.
class IXmlElementSink;
struct CXmlReadOptions {
    // Sees each element as soon as its end tag is read, and may take it (see
    // IXmlElementSink).
    IXmlElementSink* sink = nullptr;
    // The address the document came from (UTF-8): the base of its relative
    // references, after any xml:base (ResolveLink). Empty: the file's path
    // stands there, which makes no reference a web address.
    std::string documentUrl;
    // Stop at the first malformed reference (a bare "&", an unknown entity
    // name): the repaired text mends every one of them, so a caller that
    // reads it next wastes the rest of this read.
    bool stopAtBadReference = false;
};

// What one read found.
struct CXmlReadNotes {
    // The read met something that a read of the repaired text may mend: an
    // error libxml2 recovered from, or an HTML entity in an attribute value
    // (where libxml2 keeps only the first byte of its character).
    bool repairable = false;
    // The read stopped at a malformed reference (stopAtBadReference): the
    // tree holds only what came before it.
    bool stopped = false;
};

// Parses the regular file at path; nothing when it is missing, not a regular
// file, or holds nothing libxml2 can recover. Two repairs for feeds written
// carelessly: HTML entity names (&nbsp;, &eacute;, ...) read as their
// characters, and after a recovered error the predefined entities of the
// rest of the document are still decoded instead of dropped.
//
// A sink sees each element as soon as its end tag is read and may take it:
// a taken element is removed from the tree and freed at once, so that a
// document of many items never stands whole in memory.
class IXmlElementSink {
public:
    virtual ~IXmlElementSink() = default;
    // node is complete and still in the tree; true takes it out.
    virtual bool TakeElement(xmlDoc* doc, xmlNode* node) = 0;
};
CXmlDocPtr ReadXmlFile(const std::wstring& path, CXmlReadNotes* notes = nullptr, const CXmlReadOptions& options = {});

// The second read: the file's text as RepairXmlText mends it, mended as
// libxml2 reads it (the file is mapped, never copied whole). changed (when
// given) tells whether anything was mended: when not, the tree is that of
// ReadXmlFile. XmlFileNeedsRepair says beforehand, stopping at the first
// change.
CXmlDocPtr ReadRepairedXmlFile(const std::wstring& path, CXmlReadNotes* notes = nullptr,
                               const CXmlReadOptions& options = {}, bool* changed = nullptr);
bool XmlFileNeedsRepair(const std::wstring& path);

// The tree of a text RepairXmlText mended (nothing when it was not changed).
CXmlDocPtr ParseRepairedXml(const CRepairedXml& repaired, const std::wstring& path,
                            const CXmlReadOptions& options = {}, CXmlReadNotes* notes = nullptr);

// ReadXmlFile, then the repaired read when the first was repairable and the
// repair changes something: the repaired tree then replaces the first.
CXmlDocPtr ReadXmlFileRepaired(const std::wstring& path);

// A link written in the document, resolved (RFC 3986) against the base of
// the node that carries it: its xml:base and its ancestors', then the
// document's address. Kept as written when it is absolute already, when no
// base makes it a web address, or when it cannot be parsed as a reference.
std::wstring ResolveLink(const xmlNode* node, std::wstring link);

// Element name test without regard to case, on the name libxml2 gives the
// node (local name when the prefix is declared, "prefix:name" otherwise).
bool NameIs(const xmlNode* node, const char* name);

// All text children of an element joined (text, CDATA and internal entity
// references), converted to a wide string; NodeValue also trims it.
std::wstring NodeText(const xmlNode* node);
std::wstring NodeValue(const xmlNode* node);

// The trimmed text of an element and of all its descendants, in document
// order: the words of a title written with markup ("Version <b>2.0</b>").
std::wstring DescendantsValue(const xmlNode* node);

// True when the element has an element among its children.
bool HoldsElements(const xmlNode* node);

// The trimmed value of an element that carries HTML: its text, as
// NodeValue; when some of the HTML was written as elements rather than
// escaped, those elements serialised in their places among that text.
std::wstring MarkupValue(const xmlNode* node);

// The trimmed value of a short element (a date, a number) without
// allocating when it fits the buffer; the view lives as long as the buffer.
struct CShortText {
    wchar_t chars[128];
    std::wstring overflow;
};
std::wstring_view ShortNodeValue(const xmlNode* node, CShortText& buffer);

// The trimmed value of an attribute.
std::wstring AttributeValue(const xmlAttr* attribute);

// True when the element's namespace differs from its parent's: an extension
// element (atom:link in an RSS item, media:content in an Atom entry, ...).
bool IsForeignElement(const xmlNode* node);

// The markup inside an element, serialised as written.
std::wstring InnerMarkup(xmlDoc* doc, const xmlNode* node);

// The start element itself, then its element descendants in document order,
// each subtree before the next; the first whose name matches.
const xmlNode* FindElementDepthFirst(const xmlNode* start, const char* name);

// The start element, then its following siblings; children are not entered.
const xmlNode* FindElementSibling(const xmlNode* start, const char* name);
