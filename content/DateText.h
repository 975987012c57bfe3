#pragma once
// Dates in feed and subscription texts: RFC 822 ("Mon, 06 Sep 2004 16:45:00
// GMT"), W3C/ISO 8601 ("2004-09-06T16:45+09:00") and whatever publishers
// write. Reading never fails loudly: an unreadable text gives the current
// local time.

#include <optional>
#include <string>
#include <string_view>

#include "platform/DateTime.h"

// Reads a date text into local time. A W3C date text (found where an RFC 822
// one belongs) is first rewritten as NormalizeW3cDate does. A plain local
// date and time that the platform conversion accepts is taken as written;
// anything else goes through the reader's own parser, which shifts by the
// zone it finds (a numeric offset, UT/GMT/UTC with or without an offset, an
// RFC 822 zone name or military letter) and converts the result from UTC to
// local time. Two-digit years are 2000 to 2049 and 1950 to 1999.
CDateTime ParseDateText(std::wstring_view text);

// Rewrites a W3C date so that ParseDateText reads it: "T" becomes a space,
// a "Z" zone becomes "+00:00" (another "Z" a space), and a space goes in
// front of the first "+". Texts shorter than 3 characters give nothing: the
// caller keeps its previous date.
std::optional<std::wstring> NormalizeW3cDate(std::wstring_view text);

// NormalizeW3cDate then ParseDateText into target; target is left alone when
// the text is too short to read.
void ReadW3cDate(std::wstring_view text, CDateTime& target);

// Formats with strftime-like fields %a %b (English abbreviations), %d %m %y
// %Y %H %M %S and %%. Empty for a value that is not a valid date.
std::wstring FormatSystemTime(const CSystemTime& time, std::wstring_view format);
std::wstring FormatDateTime(const CDateTime& value, std::wstring_view format);

// Formats the system writes.
inline constexpr wchar_t kOpmlDateFormat[] = L"%a, %d %b %Y %H:%M:%S GMT";
inline constexpr wchar_t kFileTimeFormat[] = L"%Y-%m-%d %H:%M";
inline constexpr wchar_t kListDateFormat[] = L"%d/%m/%y";

// Date column of the item lists: empty below day 1 (the unset date), the time
// of day for today's dates, "%d/%m/%y" otherwise.
std::wstring FormatListDate(const CDateTime& value);
