// Arbitrary bytes as the texts a feed hands the reader for its lists and
// labels: titles written with markup and entities, links, dates. Besides
// crashes, a finding is a helper that breaks its promise: markup removal
// and entity decoding never lengthen a text, a removed tag leaves no "<...>"
// pair behind, a host is part of its URL, and a date read is a calendar
// date.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "content/DateText.h"
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
    return 0;
}
