#pragma once
// Turns a feed document held in a local file (RSS 0.9x/2.0, RSS 1.0/RDF or
// Atom) into a CRssChannel. Keeps no state between calls and touches no
// store.

#include <memory>
#include <string>

#include "content/RssChannel.h"

// Nothing when the file cannot be parsed, holds no known root element, or
// gives a channel without a title.
std::unique_ptr<CRssChannel> ParseFeedFile(const std::wstring& path);
