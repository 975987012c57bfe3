#pragma once
// The feeds a web page announces: its <link rel="alternate"> elements of the
// RSS, Atom and RDF types, read with libxml2's HTML parser (which takes any
// tag soup, and never reads another file or the network), their addresses
// resolved against the page's own (or its <base href>). Only http and https
// addresses are kept, each once, in the order the page gives them.
#include <string>
#include <string_view>
#include <vector>

struct CFeedLink {
    std::wstring url;   // absolute
    std::wstring title; // the link's title, trimmed; may be empty
    std::wstring type;  // "application/rss+xml", "application/atom+xml" or "application/rdf+xml"
};

// Whether the bytes are a web page: after white space (and a byte order
// mark), a document type or an element that only HTML starts with ("<html",
// "<head", "<body", "<!doctype html", ...), or a comment followed by one.
// A feed, an OPML document or plain text is not.
bool LooksLikeHtml(std::string_view bytes);

// The announced feeds of a page read from bytes, with pageUrl its address.
std::vector<CFeedLink> FindFeedLinks(std::string_view html, const std::wstring& pageUrl);
