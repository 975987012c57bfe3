#pragma once
// The windows the channel tree opens, as functions the tree calls: each
// runs its window modally over the host and hands back what the user chose.
// A function left empty means the window does not exist in this build: the
// tree greys the commands that would open it. Each group of windows fills
// in its own functions (InstallListViews, InstallFeedDialogs, ...), so the
// tree knows none of their classes.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "subscriptions/OpmlDoc.h"
#include "session/ReaderSession.h"

class QWidget;

struct CTreeDialogs {
    // The pages of one feed, with the outlines of its level (folders
    // included) for Previous Feed and Next Feed. The tree refreshes its
    // labels afterwards.
    std::function<void(QWidget* host, CReaderSession& session, std::vector<COutline*> level, COutline* feed)> feedList;
    // The new pages of all feeds ("New").
    std::function<void(QWidget* host, CReaderSession& session)> newItems;
    // The About view.
    std::function<void(QWidget* host)> about;

    // Enter URL: the new feed (filled from its channel) and "Create at root".
    struct CAddedFeed {
        std::unique_ptr<COutline> feed;
        bool atRoot = false;
    };
    std::function<std::optional<CAddedFeed>(QWidget* host, CReaderSession& session)> addFeed;
    // New folder: its name and "Create at root".
    struct CNewFolder {
        std::wstring name;
        bool atRoot = false;
    };
    std::function<std::optional<CNewFolder>(QWidget* host)> newFolder;
    // Rename: the new name (trimmed, not empty); nothing on Cancel.
    std::function<std::optional<std::wstring>(QWidget* host, CReaderSession& session, COutline& outline)> rename;
    // Properties of a feed: the rows to show.
    std::function<void(QWidget* host, const std::vector<CPropertyRow>& rows)> properties;
    // The import source: ID_IMPORT_FILE (201), ID_IMPORT_URL (202) or ID_CANCEL.
    std::function<int(QWidget* host)> importSource;
    // The file picker: a chosen path, or nothing. mode 0 open, 1 select
    // file, 2 save as, 3 select folder.
    struct CFileRequest {
        int mode = 1;
        std::wstring folder;      // where it starts
        std::wstring defaultName; // "export.opml" for an export
        std::wstring extensions;  // "opml"
        UINT titleId = 0;         // IDS_IMPORT_OPML, IDS_EXPORT_OPML
        UINT menuId = 0;          // soft keys: 226 Select/Cancel, 212 Save/Cancel
    };
    std::function<std::optional<std::wstring>(QWidget* host, const CFileRequest& request)> pickFile;
    // The OPML address dialog: the feeds the user collected.
    std::function<COutlineList(QWidget* host, CReaderSession& session)> opmlAddress;
    // The online search: the feeds the user added.
    std::function<COutlineList(QWidget* host, CReaderSession& session)> onlineSearch;
    // The options sheet (the tree cleans up afterwards).
    std::function<void(QWidget* host)> options;
    // Find: the words, then the stored pages that hold them (the tree
    // refreshes its counts afterwards).
    std::function<void(QWidget* host)> find;
};
