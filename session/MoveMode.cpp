// Move mode: one outline moved through the tree a step at a time, its
// children with it, kept at Done (and saved) or put back at Cancel.
#include <algorithm>

#include "subscriptions/OutlineIdentity.h"
#include "session/ReaderSession.h"
#include "update/SyncAccount.h"

std::unique_ptr<COutline> CReaderSession::Detach(COutline& outline, COutline*& parent, size_t& index)
{
    parent = ParentOf(outline);
    COutlineList& list = ListOf(parent);
    auto found = std::find_if(list.begin(), list.end(), [&](const auto& child) { return child.get() == &outline; });
    index = static_cast<size_t>(found - list.begin());
    std::unique_ptr<COutline> detached = std::move(*found);
    list.erase(found);
    return detached;
}

void CReaderSession::Attach(std::unique_ptr<COutline> outline, COutline* parent, size_t index)
{
    COutlineList& list = ListOf(parent);
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(std::min(index, list.size())), std::move(outline));
}

bool CReaderSession::StartMove(COutline& outline)
{
    // The server decides where the account's feeds sit.
    if (IsMoving() || IsInAccountFolder(&outline) || !UpdateLock())
        return false;
    m_move.outline = &outline;
    m_move.identity = IdentityOf(m_pDoc->outlines, outline);
    m_move.formerParent = ParentOf(outline);
    const COutlineList& list = ListOf(m_move.formerParent);
    m_move.formerIndex = static_cast<size_t>(
        std::find_if(list.begin(), list.end(), [&](const auto& child) { return child.get() == &outline; }) -
        list.begin());
    return true;
}

namespace {

size_t IndexIn(const COutlineList& list, const COutline* outline)
{
    return static_cast<size_t>(
        std::find_if(list.begin(), list.end(), [&](const auto& child) { return child.get() == outline; }) -
        list.begin());
}

} // namespace

// Takes the outline out of its folder, to just before or after the folder.
void CReaderSession::MoveOutOf(COutline& moving, COutline& folder, bool after)
{
    COutline* grand = ParentOf(folder);
    const size_t folderIndex = IndexIn(ListOf(grand), &folder);
    COutline* parent = nullptr;
    size_t ignored = 0;
    auto detached = Detach(moving, parent, ignored);
    Attach(std::move(detached), grand, folderIndex + (after ? 1 : 0));
}

bool CReaderSession::MoveStepUp()
{
    COutline* moving = m_move.outline;
    if (moving == nullptr)
        return false;
    COutline* parent = ParentOf(*moving);
    const COutlineList& list = ListOf(parent);
    const size_t index = IndexIn(list, moving);
    if (index == 0) {
        if (parent == nullptr)
            return false; // the first entry of the tree
        // The first child of a folder goes out, directly before the folder.
        MoveOutOf(*moving, *parent, false);
        return true;
    }
    COutline* previous = list[index - 1].get();
    size_t ignored = 0;
    auto detached = Detach(*moving, parent, ignored);
    // The account's folder holds only what its server has: it is stepped
    // over like a feed.
    if (previous->kind == OutlineKindFolder && !IsAccountFolder(*previous))
        Attach(std::move(detached), previous, previous->children.size()); // into it, last
    else
        Attach(std::move(detached), parent, index - 1); // directly before it
    return true;
}

bool CReaderSession::MoveStepDown()
{
    COutline* moving = m_move.outline;
    if (moving == nullptr)
        return false;
    COutline* parent = ParentOf(*moving);
    const COutlineList& list = ListOf(parent);
    const size_t index = IndexIn(list, moving);
    COutline* next = index + 1 < list.size() ? list[index + 1].get() : nullptr;
    if (next == nullptr) {
        // Out of its folder, directly after it; at the top level: no step.
        // (A feed whose next entry in tree order belongs to another parent
        // goes the same way.)
        if (parent == nullptr)
            return false;
        MoveOutOf(*moving, *parent, true);
        return true;
    }
    size_t ignored = 0;
    auto detached = Detach(*moving, parent, ignored);
    if (next->kind == OutlineKindFolder && !IsAccountFolder(*next))
        Attach(std::move(detached), next, 0); // into it, first
    else
        Attach(std::move(detached), parent, index + 1); // directly after it
    return true;
}

CTreeChange CReaderSession::MoveDone()
{
    CTreeChange change;
    if (!IsMoving())
        return change;
    COutline* moving = m_move.outline;
    // Where it stands now: in its parent, after the outline before it (or
    // first).
    COutline* parent = ParentOf(*moving);
    const COutlineList& list = ListOf(parent);
    const size_t index = IndexIn(list, moving);
    COutline* previous = index > 0 ? list[index - 1].get() : nullptr;
    const std::wstring identity = m_move.identity;
    m_move = {};
    const CTreeEdit edit = EditTree({&parent, &previous}, [&](bool reloaded) {
        if (!reloaded)
            return true; // the tree is the file's, with the move made
        // Another process changed the file during the move: the move is made
        // again on its tree, from where the outline stands there.
        moving = FindByIdentity(m_pDoc->outlines, identity);
        if (moving == nullptr)
            return false; // gone from the file meanwhile
        for (const COutline* at = parent; at != nullptr; at = ParentOf(*at)) {
            if (at == moving)
                return false; // it would go inside itself
        }
        COutline* from = nullptr;
        size_t ignored = 0;
        auto detached = Detach(*moving, from, ignored);
        COutlineList& into = ListOf(parent);
        const size_t after = previous != nullptr ? IndexIn(into, previous) : into.size();
        Attach(std::move(detached), parent, after < into.size() ? after + 1 : 0);
        return true;
    });
    change.select = moving;
    change.structureChanged = true;
    NoteEdit(edit, change);
    UpdateUnlock();
    return change;
}

CTreeChange CReaderSession::MoveCancel()
{
    CTreeChange change;
    if (!IsMoving())
        return change;
    COutline* moving = m_move.outline;
    COutline* parent = nullptr;
    size_t index = 0;
    auto detached = Detach(*moving, parent, index);
    Attach(std::move(detached), m_move.formerParent, m_move.formerIndex);
    change.select = moving;
    change.structureChanged = true;
    m_move = {};
    UpdateUnlock();
    return change;
}
