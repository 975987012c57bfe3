#include "views/ChannelTreeView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QResizeEvent>
#include <algorithm>

#include "app/MessageBox.h"
#include "platform/Debug.h"
#include "views/ChannelTreeViewCtrl.h"
#include "views/FullScreenDialog.h"
#include "views/NewSubscriptionDlg.h"
#include "views/ResText.h"
#include "views/ResourceMenu.h"
#include "views/SoftKeyBar.h"
#include "views/DialogMessages.h"
#include "views/UpdateFeedsDlg.h"
#include "views/WaitCursor.h"

namespace {

// Below the tree a strip is left free (where the device keeps its input
// panel button); a square screen needs more.
constexpr int kBottomStrip = 26;
constexpr int kBottomStripSquare = 34;

} // namespace

// Drops the keys meant for the frame while the tree starts, and those the
// window system queued meanwhile, which arrive just after. Keys for a
// window over the frame (the first-subscription prompt) go through.
class CStartupKeyFilter : public QObject {
public:
    CStartupKeyFilter(QWidget* frame) : QObject(frame), m_pFrame(frame) { qApp->installEventFilter(this); }
    ~CStartupKeyFilter() override { qApp->removeEventFilter(this); }

    // Start-up is over: keys still arriving within the grace time are the
    // queued ones.
    void Finish(int graceMs)
    {
        m_clock.start();
        m_nGraceMs = graceMs;
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        if (m_clock.isValid() && m_clock.elapsed() > m_nGraceMs) {
            deleteLater();
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(object);
        if (widget == nullptr || widget->window() != m_pFrame || CFullScreenDialog::ActiveDialog() != nullptr)
            return false;
        return true;
    }

private:
    QWidget* m_pFrame;
    QElapsedTimer m_clock;
    int m_nGraceMs = 0;
};

CChannelTreeView::CChannelTreeView(IFrameHost& frame, CReaderSession& session, CTreeDialogs dialogs)
    : m_frame(frame), m_session(session), m_dialogs(std::move(dialogs))
{
    setObjectName(QString::number(IDD_CHANNEL_TREE));
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    m_pTree = new CChannelTreeCtrl(this);
    m_pTree->setObjectName(QString::number(IDC_TREE));
    // The model goes with the control, after it.
    m_pModel = new CChannelTreeModel(m_session, m_pTree);
    m_pTree->setModel(m_pModel);
    setFocusProxy(m_pTree);

    connect(m_pTree, &CChannelTreeCtrl::openRequested, this, &CChannelTreeView::OpenEntry);
    connect(m_pTree, &QTreeView::doubleClicked, this, &CChannelTreeView::OpenEntry);
    connect(m_pTree, &CChannelTreeCtrl::moveStepRequested, this, &CChannelTreeView::MoveStep);
    connect(m_pTree, &CChannelTreeCtrl::contextMenuRequested, this, &CChannelTreeView::ShowContextMenu);
    connect(m_pTree, &QTreeView::expanded, this, [this](const QModelIndex& index) { OnFolderToggled(index, true); });
    connect(m_pTree, &QTreeView::collapsed, this, [this](const QModelIndex& index) { OnFolderToggled(index, false); });
    // While an entry moves, nothing else can be selected.
    connect(m_pTree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (m_pTree->IsMoving() && current != m_pTree->MovingIndex())
            QMetaObject::invokeMethod(this, [this] {
                if (m_pTree->IsMoving() && m_pTree->MovingIndex().isValid())
                    m_pTree->setCurrentIndex(m_pTree->MovingIndex());
            }, Qt::QueuedConnection);
    });
    connect(&m_timer, &QTimer::timeout, this, &CChannelTreeView::OnTimer);
    connect(&m_updateWait, &QTimer::timeout, this, &CChannelTreeView::RunAutomaticUpdate);

    // Until the tree has started, the soft keys do nothing.
    m_frame.SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
    m_frame.SoftKeys()->EnableKey(CSoftKeyBar::kRight, false);
    m_pKeyFilter = new CStartupKeyFilter(m_frame.Window());
}

CChannelTreeView::~CChannelTreeView()
{
    m_timer.stop();
    m_updateWait.stop();
    delete m_pKeyFilter;
}

bool CChannelTreeView::KeepsTitle() const { return m_session.IsMoving(); }

void CChannelTreeView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int strip = width() == height() ? kBottomStripSquare : kBottomStrip;
    m_pTree->setGeometry(0, 0, width(), std::max(0, height() - strip));
}

void CChannelTreeView::focusInEvent(QFocusEvent*) { m_pTree->setFocus(Qt::OtherFocusReason); }

// ---- Start-up ----------------------------------------------------------------------

bool CChannelTreeView::InitChannel()
{
    if (m_bInitialised)
        return true;
    m_pTree->SetEmptyText(QString());
    CReaderSession::CStartUp startUp;
    {
        CWaitCursor wait;
        startUp = m_session.Start();
        m_pModel->Reset();
    }
    WatchSubscriptionFile();
    for (const CViewMessage& message : startUp.storeMessages)
        ShowMessageBox(this, ToQString(message.Text()), message.style);
    for (const CViewMessage& message : startUp.treeMessages)
        ShowMessageBox(this, ToQString(message.Text()), message.style);
    m_pTree->SetEmptyText(ResString(IDS_EMPTY_TREE));

    UpdateSoftKeys(); // and the first-subscription prompt
    ExpandTopLevel();
    if (m_pModel->rowCount() > 0)
        m_pTree->setCurrentIndex(m_pModel->index(0, 0));
    m_timer.start(m_nCheckInterval);
    if (m_pKeyFilter != nullptr)
        m_pKeyFilter->Finish(kStartupKeyGraceMs);
    m_pTree->setFocus(Qt::OtherFocusReason);
    m_pTree->ReportNextPaint();
    m_pTree->viewport()->update();
    m_bInitialised = true;
    // Posted: the update starts once the start-up has returned.
    if (startUp.updateNow)
        PostAutomaticUpdate();
    emit initialised();
    return true;
}

void CChannelTreeView::RequestUpdateAll(bool automatic)
{
    if (!m_session.RequestUpdateAll(automatic))
        return;
    if (automatic)
        PostAutomaticUpdate();
    else
        m_frame.PostCommand(ID_UPDATE_ALL);
}

// Automatic requests (start-up, the timer, a synchronisation) come round
// once however often they are made before the first one runs.
void CChannelTreeView::PostAutomaticUpdate()
{
    if (m_bAutomaticQueued)
        return;
    m_bAutomaticQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bAutomaticQueued = false;
            RunAutomaticUpdate();
        },
        Qt::QueuedConnection);
}

void CChannelTreeView::RunAutomaticUpdate()
{
    if (!m_session.IsAutomaticUpdate()) {
        m_updateWait.stop(); // an update ran since it was asked for
        return;
    }
    // Its dialog would open over the window the user works in: it waits.
    if (!m_session.AcceptUpdateAll(IsWindowOfTheViewOpen()) || m_session.IsUpdateLocked()) {
        if (!m_updateWait.isActive())
            m_updateWait.start(kUpdateWaitMs);
        return;
    }
    m_updateWait.stop();
    RunUpdate(true);
}

void CChannelTreeView::SetCheckInterval(int milliseconds)
{
    m_nCheckInterval = milliseconds;
    if (m_timer.isActive())
        m_timer.start(milliseconds);
}

bool CChannelTreeView::IsWindowOfTheViewOpen()
{
    return CFullScreenDialog::ActiveDialog() != nullptr || QApplication::activeModalWidget() != nullptr ||
           QApplication::activePopupWidget() != nullptr;
}

void CChannelTreeView::OnTimer()
{
    if (m_bReloadPending)
        CheckSubscriptionFile();
    if (m_session.CheckPeriodicUpdate(IsWindowOfTheViewOpen()))
        PostAutomaticUpdate();
    m_session.SendWaitingMarks();
}

LRESULT CChannelTreeView::OnFrameMessage(UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_CONNECTED_NOTIFY) {
        if (m_session.OnConnectedNotify(wParam, m_bHandlingStatus))
            PostAutomaticUpdate();
    } else if (message == WM_CONNECTION_STATUS && !m_bHandlingStatus) {
        // Sending the lost network to a dialog lets other messages in.
        m_bHandlingStatus = true;
        m_session.OnConnectionStatus(wParam, [this] {
            // The dialog on top: one that downloads names its message window;
            // the update dialog takes it as an event.
            QWidget* front = CFullScreenDialog::ActiveDialog();
            const QVariant window = front != nullptr ? front->property(kMessageWindowProperty) : QVariant();
            if (window.isValid()) {
                SendMessage(HWND{window.toULongLong()}, WM_NETWORK_LOST, 0, 0);
            } else {
                QEvent lost(static_cast<QEvent::Type>(kNetworkLostEvent));
                QCoreApplication::sendEvent(front != nullptr ? front : m_frame.Window(), &lost);
            }
        });
        m_bHandlingStatus = false;
    }
    return 0;
}

// ---- Entries --------------------------------------------------------------------------

COutline* CChannelTreeView::Selected() const { return OutlineOf(m_pTree->currentIndex()); }

void CChannelTreeView::Select(const COutline* outline)
{
    if (const QModelIndex index = IndexOf(outline); index.isValid()) {
        m_pTree->setCurrentIndex(index);
        m_pTree->scrollTo(index);
    }
}

void CChannelTreeView::CollectStates(const QModelIndex& index, CEntryStates& states)
{
    m_pModel->ForEachEntry(
        [&](const QModelIndex& entry) {
            states.insert(OutlineOf(entry), {entry.data().toString(), IconOf(entry), m_pTree->isExpanded(entry),
                                             m_pModel->KindOf(entry)});
        },
        index);
}

void CChannelTreeView::RebuildEntries(const COutline* parent)
{
    QModelIndex parentIndex = IndexOf(parent);
    const COutline* selected = Selected();
    // What the entries showed is kept: labels come from the store at the next
    // refresh, and a feed whose record went missing keeps its text and icon.
    CEntryStates states = m_movingStates;
    CollectStates(parentIndex, states);
    const bool updates = m_pTree->updatesEnabled();
    m_pTree->setUpdatesEnabled(false);
    for (const QModelIndex& open : m_pModel->Rebuild(parentIndex.isValid() ? parent : nullptr, states))
        m_pTree->expand(open);
    if (parentIndex.isValid() && m_pModel->rowCount(parentIndex) == 0) {
        const int icon = IconOf(parentIndex);
        m_pModel->SetLabel(parentIndex, parentIndex.data().toString(),
                           icon == kTreeIconFolderOpen ? kTreeIconFolderClosed : icon);
    }
    if (selected != nullptr && IndexOf(selected).isValid())
        Select(selected);
    m_pTree->setUpdatesEnabled(updates);
}

void CChannelTreeView::RefreshLabels(const QModelIndex& from)
{
    if (!from.isValid())
        return;
    const QModelIndex parent = from.parent();
    std::vector<QModelIndex> pending;
    for (int row = from.row(); row < m_pModel->rowCount(parent); ++row)
        pending.push_back(m_pModel->index(row, 0, parent));
    while (!pending.empty()) {
        const QModelIndex entry = pending.back();
        pending.pop_back();
        const int children = m_pModel->rowCount(entry);
        if (COutline* outline = OutlineOf(entry)) {
            const bool open = m_pTree->isExpanded(entry) && children > 0;
            if (const std::optional<CEntryLabel> label = m_session.LabelOf(*outline, open))
                m_pModel->SetLabel(entry, ToQString(label->text), label->icon);
        }
        for (int row = 0; row < children; ++row)
            pending.push_back(m_pModel->index(row, 0, entry));
    }
}

void CChannelTreeView::RefreshAll() { RefreshLabels(m_pModel->index(0, 0)); }

// One feed's result came in while its update runs: its entries show it at
// once, from the result alone, without waiting for the store the worker is
// writing.
void CChannelTreeView::ShowFeedResult(const CFeedUpdateResult& result)
{
    m_pModel->ForEachEntry([&](const QModelIndex& entry) {
        const COutline* outline = OutlineOf(entry);
        if (outline == nullptr || !outline->IsFeed() || outline->xmlUrl != result.url)
            return;
        if (const std::optional<CEntryLabel> label = ResultLabel(result, ToWide(entry.data().toString())))
            m_pModel->SetLabel(entry, ToQString(label->text), label->icon);
    });
}

void CChannelTreeView::OnFolderToggled(const QModelIndex& index, bool expanded)
{
    const COutline* outline = OutlineOf(index);
    if (outline != nullptr && outline->kind == OutlineKindFolder)
        m_pModel->SetLabel(index, index.data().toString(), expanded ? kTreeIconFolderOpen : kTreeIconFolderClosed);
}

void CChannelTreeView::ExpandTopLevel()
{
    m_pTree->setUpdatesEnabled(false);
    for (int row = 0; row < m_pModel->rowCount(); ++row) {
        const QModelIndex entry = m_pModel->index(row, 0);
        if (m_pModel->rowCount(entry) > 0)
            m_pTree->expand(entry);
    }
    m_pTree->setUpdatesEnabled(true);
}

// ---- Soft keys, the first-subscription prompt, menus ------------------------------------

void CChannelTreeView::UpdateSoftKeys()
{
    CSoftKeyBar* keys = m_frame.SoftKeys();
    if (keys->MenuBarId() == IDR_MAIN_MENU) {
        keys->EnableKey(CSoftKeyBar::kLeft, m_session.IsNewKeyEnabled() && IsCommandAvailable(ID_NEW_ITEMS));
        keys->EnableKey(CSoftKeyBar::kRight, true);
    }
    if (!m_bFirstPromptPending)
        return;
    m_bFirstPromptPending = false;
    RunFirstPrompt();
    UpdateSoftKeys();
}

void CChannelTreeView::RunFirstPrompt()
{
    while (m_session.Document().outlines.empty()) {
        m_frame.SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
        CNewSubscriptionDlg prompt(this, [this](UINT choice) {
            return IsCommandAvailable(CNewSubscriptionDlg::CommandOfChoice(static_cast<int>(choice)));
        });
        const int command = CNewSubscriptionDlg::CommandOfChoice(prompt.DoModal());
        if (command == 0)
            break; // Cancel
        OnCommand(command);
    }
}

bool CChannelTreeView::IsCommandAvailable(int command) const
{
    switch (command) {
    case ID_NEW_ITEMS:
        return static_cast<bool>(m_dialogs.newItems);
    case ID_ENTER_URL:
        return static_cast<bool>(m_dialogs.addFeed);
    case ID_ONLINE_SEARCH:
        return static_cast<bool>(m_dialogs.onlineSearch);
    case ID_RENAME:
        return static_cast<bool>(m_dialogs.rename);
    case ID_NEW_FOLDER:
        return static_cast<bool>(m_dialogs.newFolder);
    case ID_PROPERTIES:
        return static_cast<bool>(m_dialogs.properties);
    case ID_IMPORT:
        return m_dialogs.importSource && (m_dialogs.pickFile || m_dialogs.opmlAddress);
    case ID_IMPORT_FILE:
    case ID_EXPORT:
        return static_cast<bool>(m_dialogs.pickFile);
    case ID_IMPORT_URL:
        return static_cast<bool>(m_dialogs.opmlAddress);
    case ID_OPTIONS:
        return static_cast<bool>(m_dialogs.options);
    case ID_APP_ABOUT:
        return static_cast<bool>(m_dialogs.about);
    case ID_FIND:
        return static_cast<bool>(m_dialogs.find);
    default:
        return true;
    }
}

namespace {

void ForEachCommand(QMenu* menu, const std::function<void(QAction*, int)>& visit)
{
    for (QAction* action : menu->actions()) {
        if (action->menu() != nullptr)
            ForEachCommand(action->menu(), visit);
        else if (const int command = CommandOf(action); command != 0)
            visit(action, command);
    }
}

} // namespace

void CChannelTreeView::ApplyMenuState(QMenu* popup)
{
    const std::vector<int> greyed = m_session.GreyedCommands(Selected(), m_pModel->rowCount() == 0);
    ForEachCommand(popup, [&](QAction* action, int command) {
        action->setEnabled(IsCommandAvailable(command) &&
                           std::find(greyed.begin(), greyed.end(), command) == greyed.end());
    });
}

void CChannelTreeView::OnInitMenuPopup(QMenu* popup) { ApplyMenuState(popup); }

void CChannelTreeView::ShowContextMenu(const QPoint& globalPos, bool fromKeyboard)
{
    if (!m_bInitialised || m_session.IsMoving())
        return;
    const QPoint at = fromKeyboard ? mapToGlobal(QPoint(0, 0)) : globalPos;
    if (!rect().contains(mapFromGlobal(at)))
        return;
    const int command = TrackPopupMenu(IDR_TREE_CONTEXT, at, this, [this](QMenu* popup) { ApplyMenuState(popup); });
    if (command != 0)
        OnCommand(command);
}
