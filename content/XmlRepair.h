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

#include <string>
#include <string_view>

struct CRepairedXml {
    // In the encoding the document declares, or UTF-8 when it declares none.
    std::string text;
    // False when nothing needed mending: text is then empty.
    bool changed = false;
};

CRepairedXml RepairXmlText(std::string_view text);
