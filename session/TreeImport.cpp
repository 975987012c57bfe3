// Bringing subscriptions in and out of the tree: import (a file, an OPML
// address, an online search) and export.
#include <libxml/parserInternals.h>

#include "store/FeedDatabase.h"
#include "subscriptions/OpmlFile.h"
#include "session/ReaderSession.h"
#include "subscriptions/SubscriptionFile.h"

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

namespace {

int CountFeeds(const COutlineList& outlines)
{
    int count = 0;
    for (const auto& outline : outlines)
        count += (outline->kind != OutlineKindFolder ? 1 : 0) + CountFeeds(outline->children);
    return count;
}

} // namespace

CTreeChange CReaderSession::ImportOutlines(COutlineList outlines, COutline* selected)
{
    CTreeChange change;
    int added = 0;
    const CTreeEdit edit = EditTree({&selected}, [&](bool) {
        // Counted under the lock: another process may have subscribed to
        // some of them meanwhile.
        if (CountNewFeeds(outlines) == 0) {
            change.messages.push_back({IDS_ALL_FEEDS_ALREADY_ADDED, {}, MB_ICONASTERISK});
            return false;
        }
        // Into the selected folder, or the folder of the selected feed, or
        // the top level.
        COutline* parent = selected;
        if (parent != nullptr && parent->kind != OutlineKindFolder)
            parent = ParentOf(*parent);
        // The records of the new feeds land in one commit, not one each.
        CRecordDatabase::CWriteGroup group(CZelviaRssDB::Instance());
        added = MergeImport(outlines, ListOf(parent));
        group.Commit();
        change.structureChanged = true;
        change.changedParent = parent;
        return added > 0;
    });
    NoteEdit(edit, change);
    if (edit.applied)
        change.messages.push_back({IDS_FEEDS_ADDED, {std::to_wstring(added)}, MB_ICONASTERISK});
    return change;
}

CTreeChange CReaderSession::ImportFile(const std::wstring& path, COutline* selected, const std::wstring& shownAs)
{
    CTreeChange change;
    const std::wstring& name = shownAs.empty() ? path : shownAs;
    auto doc = LoadOpmlFile(path);
    const bool tooDeep = doc && CheckXmlStructure(path).tooDeep;
    if (tooDeep)
        change.messages.push_back({IDS_OPML_TOO_DEEP, {name, std::to_wstring(xmlParserMaxDepth)}, MB_ICONHAND});
    // Folders alone, or nothing at all, are no subscriptions to import.
    if (!doc || CountFeeds(doc->outlines) == 0) {
        if (!tooDeep)
            change.messages.push_back({IDS_OPML_INCORRECT_FILE, {name}, MB_ICONHAND});
        return change;
    }
    CTreeChange imported = ImportOutlines(std::move(doc->outlines), selected);
    imported.messages.insert(imported.messages.begin(), change.messages.begin(), change.messages.end());
    return imported;
}

CViewMessage CReaderSession::Export(const std::wstring& path) const
{
    if (SaveOpmlFile(*m_pDoc, path))
        return {IDS_EXPORT_CREATED, {path}, MB_ICONASTERISK};
    return {IDS_EXPORT_FAILED, {path}, MB_ICONHAND};
}
