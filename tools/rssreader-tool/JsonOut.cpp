#include "JsonOut.h"

#include <cstdio>

#include "content/DateText.h"
#include "platform/Unicode.h"

std::string ToUtf8(const std::wstring& text) { return WideToUtf8(text); }

Json DateToJson(const CDateTime& value)
{
    // Day 0 is what a page or feed without a date holds, not 1899-12-30.
    if (value.IsValid() && value.GetDays() == 0.0)
        return nullptr;
    const char* status = value.GetStatus() == DateTimeStatus::Valid     ? "valid"
                         : value.GetStatus() == DateTimeStatus::Invalid ? "invalid"
                                                                        : "null";
    return Json{{"days", value.m_dt},
                {"status", status},
                {"local", ToUtf8(value.IsValid() ? FormatDateTime(value, L"%Y-%m-%dT%H:%M:%S") : L"")}};
}

Json FileTimeToJson(const FILETIME& value)
{
    if (value.Ticks() == 0)
        return nullptr;
    CSystemTime time;
    const bool ok = FileTimeToSystemTime(value, time);
    return Json{{"ticks", value.Ticks()}, {"local", ok ? ToUtf8(FormatSystemTime(time, L"%Y-%m-%dT%H:%M:%S")) : ""}};
}

namespace {

// An enumeration's name beside its code; null for a code it does not have.
Json NameOf(std::int64_t code, std::initializer_list<std::pair<std::int64_t, const char*>> names)
{
    for (const auto& [known, name] : names) {
        if (known == code)
            return name;
    }
    return nullptr;
}

Json PageStateName(std::int64_t state)
{
    return NameOf(state, {{PageStateUnread, "unread"}, {PageStateRead, "read"}, {PageStateDeleted, "deleted"}});
}

Json ItemToJson(const CRssItem& item)
{
    return Json{{"title", ToUtf8(item.title)},
                {"link", ToUtf8(item.link)},
                {"key", ToUtf8(item.key)},
                {"description", ToUtf8(item.description)},
                {"content", ToUtf8(item.content)},
                {"encodedContent", ToUtf8(item.encodedContent)},
                {"author", ToUtf8(item.author)},
                {"category", ToUtf8(item.category)},
                {"date", DateToJson(item.date)},
                {"sourceUrl", ToUtf8(item.sourceUrl)},
                {"sourceText", ToUtf8(item.sourceText)},
                {"state", static_cast<std::uint32_t>(item.state)},
                {"stateName", PageStateName(item.state)},
                {"feedId", item.feedId},
                {"enclosure",
                 {{"url", ToUtf8(item.enclosure.url)},
                  {"type", ToUtf8(item.enclosure.type)},
                  {"length", item.enclosure.length}}}};
}

Json OutlinesToJson(const COutlineList& outlines)
{
    Json list = Json::array();
    for (const auto& outline : outlines) {
        list.push_back(Json{{"title", ToUtf8(outline->title)},
                            {"text", ToUtf8(outline->text)},
                            {"description", ToUtf8(outline->description)},
                            {"type", ToUtf8(outline->type)},
                            {"version", ToUtf8(outline->version)},
                            {"url", ToUtf8(outline->url)},
                            {"xmlUrl", ToUtf8(outline->xmlUrl)},
                            {"htmlUrl", ToUtf8(outline->htmlUrl)},
                            {"kind", static_cast<std::int32_t>(outline->kind)},
                            {"kindName",
                             NameOf(outline->kind, {{OutlineKindFolder, "folder"}, {OutlineKindFeed, "feed"}})},
                            {"zelviaFlag", ToUtf8(outline->zelviaFlag)},
                            {"status", outline->status},
                            {"children", OutlinesToJson(outline->children)}});
    }
    return list;
}

} // namespace

Json ChannelToJson(const CRssChannel& channel)
{
    Json items = Json::array();
    for (const auto& item : channel.items)
        items.push_back(ItemToJson(*item));
    return Json{{"sourcePath", ToUtf8(channel.sourcePath)},
                {"title", ToUtf8(channel.title)},
                {"link", ToUtf8(channel.link)},
                {"description", ToUtf8(channel.description)},
                {"language", ToUtf8(channel.language)},
                {"copyright", ToUtf8(channel.copyright)},
                {"managingEditor", ToUtf8(channel.managingEditor)},
                {"webMaster", ToUtf8(channel.webMaster)},
                {"category", ToUtf8(channel.category)},
                {"docs", ToUtf8(channel.docs)},
                {"cloud", ToUtf8(channel.cloud)},
                {"ttl", ToUtf8(channel.ttl)},
                {"pubDate", DateToJson(channel.pubDate)},
                {"lastBuildDate", DateToJson(channel.lastBuildDate)},
                {"items", std::move(items)}};
}

Json FeedRecordToJson(const FeedRecord& record)
{
    return Json{{"feedId", record.feedId},
                {"url", ToUtf8(record.url)},
                {"title", ToUtf8(record.title)},
                {"description", ToUtf8(record.description)},
                {"pageCount", record.pageCount},
                {"unreadCount", record.unreadCount},
                {"updateCounter", record.updateCounter},
                // A stored 0 sort field or order is taken as 2 by the list.
                {"sortField", record.sortField},
                {"sortFieldName",
                 NameOf(record.sortField, {{0, "date"}, {kFeedSortByTitle, "title"}, {kFeedSortByDate, "date"}})},
                {"sortOrder", record.sortOrder},
                {"sortOrderName", NameOf(record.sortOrder, {{0, "descending"},
                                                            {kFeedSortAscending, "ascending"},
                                                            {kFeedSortDescending, "descending"}})},
                {"viewFilter", record.viewFilter},
                {"viewFilterName", NameOf(record.viewFilter, {{kFeedViewAll, "all"},
                                                              {kFeedViewUnread, "unread"},
                                                              {kFeedViewRead, "read"},
                                                              {kFeedViewToday, "today"}})},
                {"updateStatus", record.updateStatus},
                {"updateStatusName", NameOf(record.updateStatus, {{kFeedStatusUpdated, "updated"},
                                                                  {kFeedStatusFailed, "failed"},
                                                                  {kFeedStatusCreated, "created"}})},
                {"lastDate", DateToJson(record.lastDate)}};
}

Json PageRecordToJson(const PageRecord& record)
{
    return Json{{"key", ToUtf8(record.key)},
                {"state", static_cast<int>(record.state)},
                {"stateName", PageStateName(record.state)},
                {"title", ToUtf8(record.title)},
                {"link", ToUtf8(record.link)},
                {"enclosureUrl", ToUtf8(record.enclosureUrl)},
                {"enclosureLength", record.enclosureLength},
                {"date", DateToJson(record.date)},
                {"description", ToUtf8(record.description)}};
}

Json OpmlToJson(const COpmlDoc& doc)
{
    return Json{{"title", ToUtf8(doc.title)},
                {"ownerName", ToUtf8(doc.ownerName)},
                {"ownerEmail", ToUtf8(doc.ownerEmail)},
                {"dateCreated", DateToJson(doc.dateCreated)},
                {"dateModified", DateToJson(doc.dateModified)},
                {"version", ToUtf8(doc.version)},
                {"namespaceUri", ToUtf8(doc.namespaceUri)},
                {"namespaceAttr", ToUtf8(doc.namespaceAttr)},
                {"outlines", OutlinesToJson(doc.outlines)}};
}

void PrintJson(const Json& value)
{
    const std::string text = value.dump(2);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}
