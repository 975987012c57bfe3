#pragma once
// Turns a feed document held in a local file (RSS 0.9x/2.0, RSS 1.0/RDF or
// Atom) into a CRssChannel. Keeps no state between calls and touches no
// store.

#include <memory>
#include <string>

#include "content/RssChannel.h"

// Nothing when the file cannot be parsed, holds no known root element, or
// gives a channel with neither a title nor items. A channel with items but
// no title is named after the host of its link, else kUntitledFeedTitle.
// A document libxml2 reads only with errors is read a second time from a
// repaired text (content/XmlRepair.h), and the read with more items is kept.
//
// newestItems, when not 0, keeps only the newest that many dated items and
// the first that many without a date (in document order); the others are
// dropped as the document is read, item by item, so that a document of a
// hundred thousand items costs no more memory than one of a hundred.
//
// documentUrl, when given, is the address the document was fetched from:
// relative links resolve against it (after any xml:base of the document).
// Without it, only an absolute xml:base makes a relative link absolute.
std::unique_ptr<CRssChannel> ParseFeedFile(const std::wstring& path, size_t newestItems = 0,
                                           const std::wstring& documentUrl = {});

inline constexpr wchar_t kUntitledFeedTitle[] = L"Untitled Feed";
