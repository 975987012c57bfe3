#pragma once
// The search keyword file built into the program, installed into the data
// folder when it has none.

#include <string_view>

std::string_view EmbeddedKeywordFile();
