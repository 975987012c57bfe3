// Arbitrary bytes as a subscription file: LoadOpmlFile must not crash, hang,
// leak or read out of bounds, and a document it returns must keep the
// promises of OpmlFile.h and OpmlDoc.h about its outlines.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "subscriptions/OpmlFile.h"

namespace {

void CheckOutlines(const COutlineList& outlines)
{
    for (const auto& outline : outlines) {
        fuzz::Require(outline != nullptr, "no empty outline slots");
        fuzz::Require(!outline->title.empty(), "outlines without title or text are dropped");
        fuzz::Require(outline->text.empty(), "text is moved into the title on loading");
        fuzz::Require(outline->IsFeed() == !outline->xmlUrl.empty(), "a feed is exactly an outline with an xmlUrl");
        fuzz::Require(outline->kind == OutlineKindFolder || outline->kind == OutlineKindFeed,
                      "loaded outlines are folders or feeds");
        for (const std::wstring* text : {&outline->title, &outline->description, &outline->type, &outline->version,
                                         &outline->url, &outline->xmlUrl, &outline->htmlUrl, &outline->zelviaFlag})
            fuzz::Require(fuzz::IsScalarText(*text), "outline texts are Unicode scalar values");
        CheckOutlines(outline->children);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Initialise("fuzz-opml");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto doc = LoadOpmlFile(fuzz::WriteScratch(data, size));
    if (!doc)
        return 0;
    for (const std::wstring* text : {&doc->title, &doc->ownerName, &doc->ownerEmail, &doc->version,
                                     &doc->namespaceUri, &doc->namespaceAttr})
        fuzz::Require(fuzz::IsScalarText(*text), "head texts are Unicode scalar values");
    CheckOutlines(doc->outlines);
    return 0;
}
