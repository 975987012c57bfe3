#pragma once
// Debug output: one line per event on stderr, in the form
//   <ZELVIA> : [CClass::Method] text
// There are no levels. Setting RSSREADER_DEBUG=0 silences the output
// (tests and scripts that want a clean stderr do so). A program may decide
// for itself instead: rssreader-tool keeps the lines off unless asked, since
// its stderr is read by people and scripts.

#include <string_view>

void DebugLog(std::string_view scope, std::string_view text);

// printf-style variant for lines that carry values.
void DebugLogF(std::string_view scope, const char* format, ...) __attribute__((format(printf, 2, 3)));

bool IsDebugOutputEnabled();
// Overrides RSSREADER_DEBUG for the rest of the process. Called once at
// start-up, before other threads run.
void SetDebugOutputEnabled(bool enabled);
