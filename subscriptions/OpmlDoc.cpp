#include "subscriptions/OpmlDoc.h"

COutline::COutline(const COutline& other)
    : title(other.title),
      text(other.text),
      description(other.description),
      type(other.type),
      version(other.version),
      url(other.url),
      xmlUrl(other.xmlUrl),
      htmlUrl(other.htmlUrl),
      kind(other.kind),
      zelviaFlag(other.zelviaFlag),
      status(other.status)
{
}

std::vector<std::wstring> FeedUrlsOf(const COutlineList& outlines)
{
    std::vector<std::wstring> urls;
    for (const auto& outline : outlines) {
        if (!outline->xmlUrl.empty())
            urls.push_back(outline->xmlUrl);
        const std::vector<std::wstring> below = FeedUrlsOf(outline->children);
        urls.insert(urls.end(), below.begin(), below.end());
    }
    return urls;
}
