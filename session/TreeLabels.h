#pragma once
// How the channel tree shows an outline: its label and its icon (five
// cells of bitmap 202). A feed is labelled from its stored record, "%s (%d)"
// with the record's title and its unread pages when there are any; the icon
// is kept in the outline's status as well.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "store/RecordDatabase.h"
#include "subscriptions/OpmlDoc.h"
#include "update/FeedUpdateResult.h"

enum TreeIcon : int {
    kTreeIconFolderOpen = 0,
    kTreeIconFolderClosed = 1,
    kTreeIconUnread = 2,
    kTreeIconFailed = 3, // last update failed, no record could be made, or neither folder nor feed
    kTreeIconRead = 4,
};

struct CEntryLabel {
    std::wstring text;
    int icon = kTreeIconFolderClosed;
};

// The label of a new entry. A feed whose record is missing gets one (icon 3
// when it cannot be written); a feed without a display name gets no entry.
std::optional<CEntryLabel> InsertEntryLabel(COutline& outline);
// The label when the tree refreshes. Nothing for a feed whose record is
// missing: its entry stays as it is. A folder's icon shows whether its entry
// is open.
std::optional<CEntryLabel> RefreshedLabel(COutline& outline, bool folderOpen);

// The label of a feed whose update result has just come in, from the result
// alone (the run's worker may be writing the store at that moment): an
// updated feed's name and unread pages, as its record now has them, or the
// failed icon on the text shown. Nothing for a result that changes nothing
// (not reached, or stopped by the user).
std::optional<CEntryLabel> ResultLabel(const CFeedUpdateResult& result, const std::wstring& shownText);

// The labels of many entries in one pass over the tree: the stored records
// are read in one walk and found by URL, where a look-up of each would cost
// a query per feed. The records are as they were when the object was made;
// those it makes for feeds that have none land in one commit when it goes.
class CEntryLabeler {
public:
    CEntryLabeler();
    ~CEntryLabeler();
    CEntryLabeler(const CEntryLabeler&) = delete;
    CEntryLabeler& operator=(const CEntryLabeler&) = delete;

    std::optional<CEntryLabel> Insert(COutline& outline);                    // as InsertEntryLabel
    std::optional<CEntryLabel> Refreshed(COutline& outline, bool folderOpen); // as RefreshedLabel

private:
    struct CStored {
        std::wstring title;
        std::int32_t unreadCount = 0;
        std::int32_t updateStatus = 0;
    };
    const CStored* Find(const std::wstring& url) const;

    std::unordered_map<std::wstring, CStored> m_stored;
    bool m_bRead = false; // the walk failed: each label is looked up
    std::optional<CRecordDatabase::CWriteGroup> m_made;
};

// InsertEntryLabel for every outline of the list and below: what the tree
// does when it is filled from a document (every feed gets its record).
void MakeEntryLabels(COutlineList& outlines);
