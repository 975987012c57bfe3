#pragma once
// Plain-text helpers for feed texts. Neither is an HTML processor: titles
// need the few entities that survive libxml2 decoded, and list titles need
// tags removed.

#include <string>

// Replaces, in this order and each everywhere, "&gt;", "&lt;", "&amp;",
// "&nbsp;" (by a plain space) and "&quot;". Case-sensitive; other entities
// stay. Because "&amp;" goes third, "&amp;quot;" ends as '"' but
// "&amp;lt;" ends as "&lt;". Rewrites text in place and returns it.
std::wstring& DecodeBasicEntities(std::wstring& text);

// Removes every "<...>" pair, inserting nothing. A "<" that is never closed
// is kept with the rest of the text, so nothing is lost.
std::wstring StripMarkup(const std::wstring& text);

// Removes white space (space, tab, line breaks, vertical tab, form feed)
// from both ends.
std::wstring Trim(std::wstring_view text);

// Compares without regard to case (ASCII and beyond, per towlower).
bool EqualsNoCase(std::wstring_view left, std::wstring_view right);

// The host of an absolute URL ("https://user@news.example.org:8080/x" gives
// "news.example.org"; an IPv6 literal keeps its brackets); empty when the
// text has no "//" authority.
std::wstring HostOfUrl(std::wstring_view url);

// printf-style formatting of the string table's texts, where %s stands for a
// wide string (as it does in the texts) and %d for an int.
std::wstring FormatText(const wchar_t* format, ...);
