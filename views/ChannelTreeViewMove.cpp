// Move mode of the channel tree view: one entry moved through the tree a
// step at a time by the keys or the stylus. The session moves the outline
// in the document at each step; the view makes the entries of the lists it
// left and entered again, the moving one collapsed, red and selected, its
// children hidden until Done or Cancel.
#include "views/ChannelTreeView.h"
#include "views/ChannelTreeViewCtrl.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"

void CChannelTreeView::StartMove()
{
    COutline* selected = Selected();
    const QModelIndex item = m_pTree->currentIndex();
    if (selected == nullptr || !m_session.StartMove(*selected))
        return;
    m_bMovingWasExpanded = m_pTree->isExpanded(item);
    // Its children come back as they were shown, folders open or closed.
    m_movingStates.clear();
    CollectStates(item, m_movingStates);
    m_frame.SetTitle(ResString(selected->kind == OutlineKindFolder ? IDS_MOVE_FOLDER : IDS_MOVE_FEED));
    m_frame.SetMenuBar(IDR_MOVE);
    ShowMoving();
    RefreshLabels(IndexOf(selected));
}

// The moving entry without its children, collapsed, red and selected, its
// level's entries shown.
void CChannelTreeView::ShowMoving()
{
    COutline* moving = m_session.MovingOutline();
    const QModelIndex item = IndexOf(moving);
    if (!item.isValid())
        return;
    m_pModel->DropChildren(item);
    m_pTree->collapse(item);
    if (moving->kind == OutlineKindFolder)
        m_pModel->SetLabel(item, item.data().toString(), kTreeIconFolderClosed);
    m_pTree->SetMovingIndex(item);
    for (QModelIndex parent = item.parent(); parent.isValid(); parent = parent.parent())
        m_pTree->expand(parent);
    m_pTree->setCurrentIndex(item);
    m_pTree->scrollTo(item);
}

// Of two lists (nullptr: the top level), the one that holds the other, or
// the top level: making it again makes both.
const COutline* CChannelTreeView::OuterOf(const COutline* first, const COutline* second) const
{
    auto holds = [this](const COutline* outer, const COutline* inner) {
        if (outer == nullptr)
            return true;
        for (const COutline* at = inner; at != nullptr; at = m_session.ParentOf(*at)) {
            if (at == outer)
                return true;
        }
        return false;
    };
    if (holds(first, second))
        return first;
    return holds(second, first) ? second : nullptr;
}

void CChannelTreeView::MoveStep(bool up)
{
    COutline* moving = m_session.MovingOutline();
    if (moving == nullptr)
        return;
    const COutline* before = m_session.ParentOf(*moving);
    if (!(up ? m_session.MoveStepUp() : m_session.MoveStepDown()))
        return;
    const COutline* after = m_session.ParentOf(*moving);
    const COutline* outer = OuterOf(before, after);
    m_pTree->setUpdatesEnabled(false);
    RebuildEntries(outer);
    ShowMoving();
    m_pTree->setUpdatesEnabled(true);
}

void CChannelTreeView::MoveDone()
{
    COutline* moving = m_session.MovingOutline();
    if (moving == nullptr)
        return;
    const CTreeChange change = m_session.MoveDone();
    m_pTree->SetMovingIndex({});
    m_frame.SetTitle(ResString(IDS_APP_TITLE));
    if (change.reloaded) {
        // The move was made on the tree another process had saved meanwhile.
        ReloadEntries();
        moving = change.select;
    } else {
        // Its children come back from the document, in their order.
        RebuildEntries(moving);
    }
    if (const QModelIndex item = IndexOf(moving); item.isValid() && m_bMovingWasExpanded && m_pModel->rowCount(item) > 0)
        m_pTree->expand(item);
    m_movingStates.clear();
    m_frame.SetMenuBar(IDR_MAIN_MENU);
    UpdateSoftKeys();
    RefreshAll();
    Select(moving);
    ShowMessages(change.messages);
}

void CChannelTreeView::MoveCancel()
{
    COutline* moving = m_session.MovingOutline();
    if (moving == nullptr)
        return;
    const COutline* current = m_session.ParentOf(*moving);
    const CTreeChange change = m_session.MoveCancel();
    m_pTree->SetMovingIndex({});
    m_frame.SetTitle(ResString(IDS_APP_TITLE));
    m_pTree->setUpdatesEnabled(false);
    // Back to where it was: the list it left and the one it came back to.
    RebuildEntries(OuterOf(current, m_session.ParentOf(*moving)));
    RebuildEntries(moving);
    if (const QModelIndex item = IndexOf(moving); item.isValid() && m_bMovingWasExpanded && m_pModel->rowCount(item) > 0)
        m_pTree->expand(item);
    m_pTree->setUpdatesEnabled(true);
    m_movingStates.clear();
    Select(moving);
    m_frame.SetMenuBar(IDR_MAIN_MENU);
    UpdateSoftKeys();
    ShowMessages(change.messages);
}
