#pragma once
// JSON forms of the core's records, keyed by their field names.

#include <nlohmann/json.hpp>
#include <string>

#include "content/RssChannel.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "store/FeedRecord.h"
#include "store/PageRecord.h"
#include "subscriptions/OpmlDoc.h"

using Json = nlohmann::ordered_json;

std::string ToUtf8(const std::wstring& text);
// {"days", "status": "valid"|"invalid"|"null", "local": "YYYY-MM-DDTHH:MM:SS" or ""};
// null for day 0, the date of a page or feed that has none.
Json DateToJson(const CDateTime& value);
// {"ticks", "local"}; null for tick 0.
Json FileTimeToJson(const FILETIME& value);
// Codes of enumerations go out with their names beside them ("state": 1,
// "stateName": "read"); a code without a name gets null.
Json ChannelToJson(const CRssChannel& channel);
Json OpmlToJson(const COpmlDoc& doc);
Json FeedRecordToJson(const FeedRecord& record);
Json PageRecordToJson(const PageRecord& record);

// Prints one JSON value on stdout, UTF-8, followed by a line break.
void PrintJson(const Json& value);
