#pragma once
// Mends the text of a document written carelessly, for a second read after
// libxml2's recovery has reported errors. What the recovery would drop or
// garble is rewritten into what the writer evidently meant:
// - a bare "&" (one that starts no well-formed reference) becomes "&amp;",
//   in text and attribute values alike, so "AT&T" and "?a=1&b=2" survive;
//   a reference to an entity that is neither predefined, declared nor an
//   HTML name is kept as written the same way;
// - an HTML entity name becomes a numeric character reference, which
//   libxml2 reads correctly in attribute values too;
// - an HTML void element (br, img, hr, ...) written without "/>" is closed
//   and its end tags are dropped, so that it cannot swallow what follows;
// - an <item> (<entry>) that starts inside an element left open in its
//   channel (feed) closes that element first, so that it cannot swallow
//   the items;
// - a document that declares no encoding and is not UTF-8 is taken for
//   windows-1252 and converted to UTF-8.
// Comments, CDATA sections, processing instructions and the document type
// declaration are copied untouched. Documents in UTF-16 or UTF-32 are left
// alone.

#include <memory>
#include <string>
#include <string_view>

struct CRepairedXml {
    // In the encoding the document declares, or UTF-8 when it declares none.
    std::string text;
    // False when nothing needed mending: text is then empty.
    bool changed = false;
};

CRepairedXml RepairXmlText(std::string_view text);

// Whether RepairXmlText would change anything; stops at the first change.
bool NeedsRepair(std::string_view text);

// The mended text a piece at a time, as a reader (libxml2) asks for it, so
// that a large document is never copied whole: RepairXmlText's text, or the
// text unchanged when it needs no mending. text must outlive the stream.
class CXmlMender;
class CXmlRepairStream {
public:
    explicit CXmlRepairStream(std::string_view text);
    ~CXmlRepairStream();
    CXmlRepairStream(const CXmlRepairStream&) = delete;
    CXmlRepairStream& operator=(const CXmlRepairStream&) = delete;

    // Up to size bytes more of the text; 0 at its end.
    size_t Read(char* buffer, size_t size);
    // Whether anything was mended (once the end has been read, for certain).
    bool Changed() const;
    // How much of the text has been read through: what lies before it is
    // not looked at again.
    size_t Consumed() const;

private:
    std::unique_ptr<CXmlMender> m_pMender; // none for UTF-16 and UTF-32, which are not mended
    std::string_view m_text;               // what is left to read of such a text
    size_t m_nPassed = 0;                  // and how much of it was read
    std::string m_converted;               // a Windows-1252 text in UTF-8
    bool m_bConverted = false;
};
