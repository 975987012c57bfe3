#include "content/XmlReader.h"

#include <climits>
#include <fcntl.h>
#include <libxml/HTMLparser.h>
#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "content/TextUtil.h"
#include "content/XmlRepair.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"

namespace {

// An HTML entity served to the parser as if it were predefined, so that its
// character is inserted like the one of "&amp;" would be.
struct CHtmlEntity {
    std::string name;
    std::string content;
    xmlEntity entity{};
};

xmlEntityPtr LookUpHtmlEntity(const xmlChar* name)
{
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<CHtmlEntity>> entities;
    const htmlEntityDesc* description = htmlEntityLookup(name);
    if (description == nullptr)
        return nullptr;
    std::lock_guard lock(mutex);
    auto& slot = entities[reinterpret_cast<const char*>(name)];
    if (!slot) {
        auto entry = std::make_unique<CHtmlEntity>();
        entry->name = reinterpret_cast<const char*>(name);
        entry->content = WideToUtf8(std::wstring(1, static_cast<wchar_t>(description->value)));
        entry->entity.type = XML_ENTITY_DECL;
        entry->entity.name = reinterpret_cast<const xmlChar*>(entry->name.c_str());
        entry->entity.content = reinterpret_cast<xmlChar*>(entry->content.data());
        entry->entity.orig = entry->entity.content;
        entry->entity.length = static_cast<int>(entry->content.size());
        entry->entity.etype = XML_INTERNAL_PREDEFINED_ENTITY;
        slot = std::move(entry);
    }
    return &slot->entity;
}

// What one read learns about the document while libxml2 builds the tree,
// reached through the parser context's private pointer.
struct CReadNotes {
    // libxml2 found the document not well formed somewhere.
    bool sawError = false;
    // An HTML entity stood in an attribute value, where libxml2 keeps only
    // the first byte of its character.
    bool entityInAttribute = false;
    IXmlElementSink* sink = nullptr;
    bool stopAtBadReference = false;
    bool stopped = false;
};

CReadNotes& NotesOf(void* context)
{
    return *static_cast<CReadNotes*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

xmlEntityPtr GetEntityWithHtmlNames(void* context, const xmlChar* name)
{
    if (xmlEntityPtr declared = xmlSAX2GetEntity(context, name))
        return declared;
    const auto* parser = static_cast<xmlParserCtxtPtr>(context);
    if (parser->inSubset != 0)
        return nullptr;
    xmlEntityPtr html = LookUpHtmlEntity(name);
    // libxml2 reads attribute values in a state of their own.
    if (html != nullptr && parser->instate == XML_PARSER_ATTRIBUTE_VALUE)
        NotesOf(context).entityInAttribute = true;
    return html;
}

// libxml2 stops expanding entity references once the document is known not
// to be well formed, which silently drops every later "&amp;" and "&lt;".
// The tree is still built in recovery mode, so each further content event
// resets that state and entities are read as in a well-formed document.
void KeepExpanding(void* context) { static_cast<xmlParserCtxtPtr>(context)->wellFormed = 1; }

// Errors reach this handler even with error output off, and only errors do:
// noting them here costs a clean document nothing. Namespace errors (an
// undeclared prefix) and warnings leave nothing for a repair to mend.
void NoteError(void* context, xmlErrorPtr error)
{
    if (error == nullptr || error->level < XML_ERR_ERROR || error->domain == XML_FROM_NAMESPACE)
        return;
    CReadNotes& notes = NotesOf(context);
    notes.sawError = true;
    const bool badReference = error->code == XML_ERR_ENTITYREF_NO_NAME || error->code == XML_ERR_ENTITYREF_SEMICOL_MISSING ||
                              error->code == XML_ERR_UNDECLARED_ENTITY || error->code == XML_ERR_NAME_REQUIRED;
    if (badReference && notes.stopAtBadReference && !notes.stopped) {
        notes.stopped = true;
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    }
}

void Characters(void* context, const xmlChar* text, int length)
{
    xmlSAX2Characters(context, text, length);
    KeepExpanding(context);
}

void StartElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                  int namespaceCount, const xmlChar** namespaces, int attributeCount, int defaultedCount,
                  const xmlChar** attributes)
{
    xmlSAX2StartElementNs(context, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                          defaultedCount, attributes);
    KeepExpanding(context);
}

bool IsBlankText(const xmlNode* node)
{
    if (node == nullptr || node->type != XML_TEXT_NODE)
        return false;
    for (const xmlChar* ch = node->content; ch != nullptr && *ch != 0; ++ch) {
        if (*ch != ' ' && *ch != '\t' && *ch != '\r' && *ch != '\n')
            return false;
    }
    return true;
}

void EndElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri)
{
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    xmlNodePtr closing = parser->node;
    xmlSAX2EndElementNs(context, localName, prefix, uri);
    KeepExpanding(context);
    IXmlElementSink* sink = NotesOf(context).sink;
    if (sink == nullptr || closing == nullptr || closing->type != XML_ELEMENT_NODE || closing == parser->node ||
        !sink->TakeElement(parser->myDoc, closing))
        return;
    // The line break before a taken element goes with it: thousands of
    // them would otherwise stay behind.
    if (IsBlankText(closing->prev)) {
        xmlNodePtr blank = closing->prev;
        xmlUnlinkNode(blank);
        xmlFreeNode(blank);
    }
    xmlUnlinkNode(closing);
    xmlFreeNode(closing);
    // libxml2 appends character data in place to the parent's last text
    // node, with the length and capacity it remembers (nodelen, nodemem) of
    // the text node it made last. With the taken element gone, the parent's
    // last child may be an older text node (text between two items), whose
    // buffer those figures do not describe: appending into it would write
    // past its end. nodemem 0 makes the next append measure the node itself.
    parser->nodelen = 0;
    parser->nodemem = 0;
}

struct CParserContextDeleter {
    void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};

struct CFileDescriptor {
    int fd = -1;
    ~CFileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

using CParserContextPtr = std::unique_ptr<xmlParserCtxt, CParserContextDeleter>;

// A parser context with the reader's hooks, noting into notes.
CParserContextPtr NewReaderContext(CReadNotes& notes)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });
    CParserContextPtr context(xmlNewParserCtxt());
    if (!context || context->sax == nullptr)
        return nullptr;
    context->_private = &notes;
    context->sax->getEntity = GetEntityWithHtmlNames;
    context->sax->characters = Characters;
    context->sax->ignorableWhitespace = Characters;
    context->sax->startElementNs = StartElement;
    context->sax->endElementNs = EndElement;
    context->sax->serror = NoteError;
    return context;
}

// Opens a regular file only: a pipe or a device could block the reader.
bool OpenRegularFile(const std::string& nativePath, CFileDescriptor& file, off_t& size)
{
    file.fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = info.st_size;
    return true;
}

// A regular file's bytes, mapped rather than read: a careless document is
// mended as libxml2 reads it, straight from the file's pages.
class CMappedFile {
public:
    explicit CMappedFile(const std::wstring& path)
    {
        CFileDescriptor file;
        off_t size = 0;
        if (!OpenRegularFile(NativePath(path), file, size))
            return;
        m_bOpen = true;
        if (size == 0)
            return;
        void* data = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE, file.fd, 0);
        if (data == MAP_FAILED) {
            m_bOpen = false;
            return;
        }
        m_pData = data;
        m_nSize = static_cast<size_t>(size);
        ::madvise(m_pData, m_nSize, MADV_SEQUENTIAL);
    }
    ~CMappedFile()
    {
        if (m_pData != nullptr)
            ::munmap(m_pData, m_nSize);
    }
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    bool IsOpen() const { return m_bOpen; }
    std::string_view Text() const { return {static_cast<const char*>(m_pData), m_nSize}; }

    // The pages before offset leave memory (they are read back from the
    // file, should they be needed again): read once, a large document need
    // not stay resident whole.
    void Release(size_t offset)
    {
        static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        const size_t end = std::min(offset, m_nSize) / page * page;
        if (end >= m_nReleased + kReleaseStep) {
            ::madvise(static_cast<char*>(m_pData) + m_nReleased, end - m_nReleased, MADV_DONTNEED);
            m_nReleased = end;
        }
    }

private:
    static constexpr size_t kReleaseStep = 256 * 1024;
    void* m_pData = nullptr;
    size_t m_nSize = 0;
    size_t m_nReleased = 0;
    bool m_bOpen = false;
};

struct CRepairedReading {
    CMappedFile& file;
    CXmlRepairStream& stream;
};

int ReadRepaired(void* context, char* buffer, int size)
{
    auto& reading = *static_cast<CRepairedReading*>(context);
    const size_t got = reading.stream.Read(buffer, static_cast<size_t>(size));
    reading.file.Release(reading.stream.Consumed());
    return static_cast<int>(got);
}

int CloseNothing(void*) { return 0; }

} // namespace

namespace {

CReadNotes NotesFor(const CXmlReadOptions& options)
{
    CReadNotes notes;
    notes.sink = options.sink;
    notes.stopAtBadReference = options.stopAtBadReference;
    return notes;
}

void Report(const CReadNotes& notes, bool read, CXmlReadNotes* out)
{
    if (out == nullptr)
        return;
    out->repairable = read && (notes.sawError || notes.entityInAttribute);
    out->stopped = read && notes.stopped;
}

} // namespace

CXmlDocPtr ReadXmlFile(const std::wstring& path, CXmlReadNotes* readNotes, const CXmlReadOptions& options)
{
    Report({}, false, readNotes);
    const std::string nativePath = NativePath(path);
    CFileDescriptor file;
    off_t size = 0;
    if (!OpenRegularFile(nativePath, file, size))
        return nullptr;
    CReadNotes notes = NotesFor(options);
    const CParserContextPtr context = NewReaderContext(notes);
    if (!context)
        return nullptr;
    const std::string& url = options.documentUrl.empty() ? nativePath : options.documentUrl;
    CXmlDocPtr doc(xmlCtxtReadFd(context.get(), file.fd, url.c_str(), nullptr, kXmlReadOptions));
    Report(notes, doc != nullptr, readNotes);
    return doc;
}

bool XmlFileNeedsRepair(const std::wstring& path)
{
    const CMappedFile file(path);
    return file.IsOpen() && NeedsRepair(file.Text());
}

CXmlDocPtr ReadRepairedXmlFile(const std::wstring& path, CXmlReadNotes* readNotes, const CXmlReadOptions& options,
                               bool* changed)
{
    Report({}, false, readNotes);
    if (changed != nullptr)
        *changed = false;
    CMappedFile file(path);
    if (!file.IsOpen())
        return nullptr;
    CReadNotes notes = NotesFor(options);
    const CParserContextPtr context = NewReaderContext(notes);
    if (!context)
        return nullptr;
    CXmlRepairStream stream(file.Text());
    CRepairedReading reading{file, stream};
    const std::string url = options.documentUrl.empty() ? NativePath(path) : options.documentUrl;
    CXmlDocPtr doc(xmlCtxtReadIO(context.get(), ReadRepaired, CloseNothing, &reading, url.c_str(), nullptr,
                                 kXmlReadOptions));
    Report(notes, doc != nullptr, readNotes);
    if (changed != nullptr)
        *changed = stream.Changed();
    return doc;
}

CXmlDocPtr ParseRepairedXml(const CRepairedXml& repaired, const std::wstring& path, const CXmlReadOptions& options,
                            CXmlReadNotes* readNotes)
{
    Report({}, false, readNotes);
    if (!repaired.changed || repaired.text.size() > INT_MAX)
        return nullptr;
    CReadNotes notes = NotesFor(options);
    const CParserContextPtr context = NewReaderContext(notes);
    if (!context)
        return nullptr;
    const std::string url = options.documentUrl.empty() ? NativePath(path) : options.documentUrl;
    CXmlDocPtr doc(xmlCtxtReadMemory(context.get(), repaired.text.data(), static_cast<int>(repaired.text.size()),
                                     url.c_str(), nullptr, kXmlReadOptions));
    Report(notes, doc != nullptr, readNotes);
    return doc;
}

CXmlDocPtr ReadXmlFileRepaired(const std::wstring& path)
{
    CXmlReadNotes notes;
    CXmlDocPtr doc = ReadXmlFile(path, &notes);
    if (notes.repairable && XmlFileNeedsRepair(path)) {
        doc.reset();
        return ReadRepairedXmlFile(path);
    }
    return doc;
}

