// Bringing subscriptions in and out of the tree: import (a file, an OPML
// address, an online search) and export.
#include "store/FeedDatabase.h"
#include "subscriptions/OpmlFile.h"
#include "subscriptions/ReaderSession.h"

namespace {

bool IsStored(const std::wstring& url) { return CZelviaRssDB::Instance().FindFeedByUrl(url) != 0; }

} // namespace

int CReaderSession::CountNewFeeds(const COutlineList& outlines) const
{
    int count = 0;
    for (const auto& outline : outlines) {
        if (outline->kind != OutlineKindFolder && !IsStored(outline->xmlUrl))
            ++count;
        count += CountNewFeeds(outline->children);
    }
    return count;
}

// Copies the new feeds of from into the list, depth first; a folder with
// children always becomes a new folder, even when none of its feeds is new.
int CReaderSession::MergeImport(const COutlineList& from, COutlineList& into)
{
    int added = 0;
    for (const auto& outline : from) {
        if (outline->kind != OutlineKindFolder) {
            if (outline->xmlUrl.empty() || IsStored(outline->xmlUrl))
                continue;
            auto copy = std::make_unique<COutline>(*outline);
            copy->kind = OutlineKindFeed;
            InsertEntryLabel(*copy); // makes its record
            into.push_back(std::move(copy));
            ++added;
        } else if (!outline->children.empty()) {
            auto copy = std::make_unique<COutline>(*outline);
            copy->kind = OutlineKindFolder;
            InsertEntryLabel(*copy);
            COutline* folder = copy.get();
            into.push_back(std::move(copy));
            added += MergeImport(outline->children, folder->children);
        }
    }
    return added;
}

CTreeChange CReaderSession::ImportOutlines(COutlineList outlines, COutline* selected)
{
    CTreeChange change;
    if (CountNewFeeds(outlines) == 0) {
        change.messages.push_back({IDS_ALL_FEEDS_ALREADY_ADDED, {}, MB_ICONASTERISK});
        return change;
    }
    // Into the selected folder, or the folder of the selected feed, or the
    // top level.
    COutline* parent = selected;
    if (parent != nullptr && parent->kind != OutlineKindFolder)
        parent = ParentOf(*parent);
    const int added = MergeImport(outlines, ListOf(parent));
    change.structureChanged = true;
    change.changedParent = parent;
    if (added > 0) {
        change.saved = SaveDefaultOpml();
        if (!change.saved)
            change.messages.push_back({IDS_EXPORT_FAILED, {SubscriptionPath()}, MB_ICONHAND});
    }
    change.messages.push_back({IDS_FEEDS_ADDED, {std::to_wstring(added)}, MB_ICONASTERISK});
    return change;
}

CTreeChange CReaderSession::ImportFile(const std::wstring& path, COutline* selected)
{
    auto doc = LoadOpmlFile(path);
    if (!doc || doc->outlines.empty()) {
        CTreeChange change;
        change.messages.push_back({IDS_OPML_INCORRECT, {}, MB_ICONHAND});
        return change;
    }
    return ImportOutlines(std::move(doc->outlines), selected);
}

CViewMessage CReaderSession::Export(const std::wstring& path) const
{
    if (SaveOpmlFile(*m_pDoc, path))
        return {IDS_EXPORT_CREATED, {path}, MB_ICONASTERISK};
    return {IDS_EXPORT_FAILED, {path}, MB_ICONHAND};
}
