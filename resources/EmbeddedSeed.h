#pragma once
// The seed subscription file built into the program, for installs that do
// not ship the file beside it.

#include <string_view>

std::string_view EmbeddedSeedSubscriptions();
