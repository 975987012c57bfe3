#pragma once
// What the tree does for each feed it shows: it finds the feed's stored
// record by the feed URL, or creates one, and takes the tree icon from it.
#include "subscriptions/OpmlDoc.h"

inline constexpr wchar_t kUntitledFolder[] = L"Untitled Folder";

// The feed's record, made when missing (counters 0, never updated); the
// outline's status becomes its icon: 4 idle, 2 with unread pages, 3 when the
// last update failed or the record could not be written. A feed without a
// display name is not shown and gets no record. Returns false when a record
// was missing and could not be written.
bool LoadFeedRecord(COutline& outline);
// The same for every feed of the list and below.
void LoadFeedRecords(COutlineList& outlines);
