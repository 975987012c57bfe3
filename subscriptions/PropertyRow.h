#pragma once
// A row of the properties view of a feed: a label from the string table and
// its value. The session gives them for a subscribed feed, the candidate
// check for a feed not yet subscribed.
#include <string>

#include "platform/WindowMessages.h"

struct CPropertyRow {
    UINT labelId = 0;
    std::wstring value;
};
