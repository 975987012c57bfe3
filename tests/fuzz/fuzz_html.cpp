// Arbitrary bytes as the texts a feed hands the reader for its lists and
// labels: titles written with markup and entities, links, dates; and as a
// web page read for the feeds it announces. Besides crashes, a finding is a
// helper that breaks its promise: markup removal and entity decoding never
// lengthen a text, a removed tag leaves no "<...>" pair behind, a host is
// part of its URL, a date read is a calendar date, and a page's feeds are
// web addresses of a feed type, each once.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "content/DateText.h"
#include "content/FeedLinks.h"
#include "content/TextUtil.h"
#include "platform/Unicode.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Initialise("fuzz-html");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));

    const std::wstring stripped = StripMarkup(text);
    fuzz::Require(stripped.size() <= text.size(), "markup removal never lengthens a text");
    const size_t open = stripped.find(L'<');
    fuzz::Require(open == std::wstring::npos || stripped.find(L'>', open) == std::wstring::npos,
                  "no tag is left behind");

    std::wstring decoded = text;
    DecodeBasicEntities(decoded);
    fuzz::Require(decoded.size() <= text.size(), "entity decoding never lengthens a text");

    const std::wstring host = HostOfUrl(text);
    fuzz::Require(host.empty() || text.find(host) != std::wstring::npos, "a host is part of its URL");

    const CDateTime date = ParseDateText(text);
    if (date.IsValid()) {
        const double days = date.GetDays();
        // 1 January 100 and 31 December 9999, counted from 30 December 1899.
        fuzz::Require(days >= -657434.0 && days < 2958466.0, "a date read is a calendar date");
    }

    const std::string_view page(reinterpret_cast<const char*>(data), size);
    LooksLikeHtml(page);
    const std::vector<CFeedLink> links = FindFeedLinks(page, L"https://www.example.org/news/index.html");
    for (size_t at = 0; at < links.size(); ++at) {
        const CFeedLink& link = links[at];
        fuzz::Require(EqualsNoCase(link.url.substr(0, 7), L"http://") || EqualsNoCase(link.url.substr(0, 8), L"https://"),
                      "a page's feed is a web address");
        fuzz::Require(link.type == L"application/rss+xml" || link.type == L"application/atom+xml" ||
                          link.type == L"application/rdf+xml",
                      "a page's feed is of a feed type");
        fuzz::Require(fuzz::IsScalarText(link.url) && fuzz::IsScalarText(link.title), "a page's feed is text");
        for (size_t other = 0; other < at; ++other)
            fuzz::Require(links[other].url != link.url, "a page's feed is listed once");
    }
    return 0;
}
