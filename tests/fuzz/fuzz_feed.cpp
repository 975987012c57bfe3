// Arbitrary bytes as a feed file: whatever they are, ParseFeedFile must not
// crash, hang, leak or read out of bounds, and a channel it returns must keep
// the promises of FeedParser.h and RssChannel.h.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "content/FeedParser.h"

namespace {

void CheckItem(const CRssItem& item)
{
    fuzz::Require(item.description.size() <= kMaxDescriptionLength, "item description within the limit");
    fuzz::Require(item.content.size() <= kMaxDescriptionLength, "item content within the limit");
    for (const std::wstring* text : {&item.title, &item.link, &item.description, &item.content,
                                     &item.encodedContent, &item.author, &item.category, &item.sourceUrl,
                                     &item.sourceText, &item.enclosure.url, &item.enclosure.type})
        fuzz::Require(fuzz::IsScalarText(*text), "item texts are Unicode scalar values");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Initialise("fuzz-feed");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto channel = ParseFeedFile(fuzz::WriteScratch(data, size));
    if (!channel)
        return 0;
    fuzz::Require(!channel->title.empty(), "a channel without a title is not returned");
    for (const std::wstring* text : {&channel->title, &channel->link, &channel->description, &channel->language,
                                     &channel->copyright, &channel->category, &channel->ttl})
        fuzz::Require(fuzz::IsScalarText(*text), "channel texts are Unicode scalar values");
    for (const auto& item : channel->items) {
        fuzz::Require(item != nullptr, "no empty item slots");
        CheckItem(*item);
    }
    return 0;
}
