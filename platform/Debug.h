#pragma once
// Debug output: one line per event on stderr, in the form
//   <ZELVIA> : [CClass::Method] text
// There are no levels. Setting RSSREADER_DEBUG=0 silences the output
// (tests and scripts that want a clean stderr do so).

#include <string_view>

void DebugLog(std::string_view scope, std::string_view text);

// printf-style variant for lines that carry values.
void DebugLogF(std::string_view scope, const char* format, ...) __attribute__((format(printf, 2, 3)));

bool IsDebugOutputEnabled();
