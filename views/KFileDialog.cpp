#include "views/KFileDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <QTimer>
#include <algorithm>

#include "app/MessageBox.h"
#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "views/DialogFonts.h"
#include "views/MountWatcher.h"
#include "views/ReportList.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/WaitCursor.h"

namespace {

const QString kParentRow = QStringLiteral("..");

UINT ModeCaption(int mode)
{
    switch (mode) {
    case CKFileDialog::kOpen: return IDS_PICKER_OPEN;
    case CKFileDialog::kSaveAs: return IDS_PICKER_SAVE_AS;
    case CKFileDialog::kSelectFolder: return IDS_PICKER_SELECT_FOLDER;
    default: return IDS_PICKER_SELECT_FILE;
    }
}

bool IsRootPath(const std::wstring& path) { return path.empty() || path == L"/"; }

std::wstring WithoutTrailingSeparator(std::wstring path)
{
    while (path.size() > 1 && IsPathSeparator(path.back()))
        path.pop_back();
    return path;
}

} // namespace

QString ElidePath(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    // "/a/b/c/d/name": keep the first folder, then drop folders after it
    // until the rest fits behind ".../".
    QStringList parts = path.split(QLatin1Char('/'));
    const bool absolute = path.startsWith(QLatin1Char('/'));
    const int first = absolute ? 1 : 0; // parts[0] is empty for an absolute path
    const QString head = (absolute ? QStringLiteral("/") : QString()) + (parts.size() > first ? parts[first] : QString());
    for (int drop = first + 1; drop < parts.size() - 1; ++drop) {
        const QString candidate = head + QStringLiteral("/.../") + parts.mid(drop + 1).join(QLatin1Char('/'));
        if (metrics.horizontalAdvance(candidate) <= width)
            return candidate;
    }
    // Even the last name is too long: cut it in its middle.
    return metrics.elidedText(QStringLiteral(".../") + parts.last(), Qt::ElideMiddle, width);
}

CKFileDialog::CKFileDialog(QWidget* host, int mode, const std::wstring& folder, const std::wstring& defaultName,
                           const std::wstring& extensions)
    : CFullScreenDialog(host, IDD_FILE_PICKER), m_nMode(std::clamp(mode, 0, 3)), m_strFolder(folder),
      m_strDefaultName(defaultName), m_extensions(ParseExtensions(extensions))
{
    m_pFolderLabel = Controls().Get<QLabel>(IDC_PICKER_FOLDER);
    m_pFolderLabel->setWordWrap(false);
    m_pFolderLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    SetControlFont(m_pFolderLabel, 9, true);
    m_pList = Controls().Get<CReportList>(IDC_PICKER_LIST);
    m_pList->SetFontPointSize(9);
    m_pList->ShowHeader(true);
    m_pList->SetEmptyText(QString());
    m_pName = Controls().Get<QLineEdit>(IDC_PICKER_NAME);
    SetControlFont(m_pName, 9, false);
    ClientLayout()->setStretchFactor(m_pList, 1);
    SetTitle(ResString(ModeCaption(m_nMode)));

    // A single tap walks the folders, as on the device; opening a file with
    // the desktop waits for a double tap or Enter. The second tap of a double
    // tap lands in the folder the first one opened, and does nothing there.
    connect(m_pList, &CReportList::rowActivated, this, [this](int row) {
        if (m_tapped.isValid() && m_tapped.elapsed() < QApplication::doubleClickInterval())
            return;
        ActivateRow(row);
    });
    connect(m_pList, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const int row = m_pList->indexOfTopLevelItem(item);
        const CRow* entry = RowAt(row);
        if (entry != nullptr && (entry->kind != ERow::File || m_nMode != kOpen)) {
            m_tapped.start();
            ActivateRow(row);
        }
    });

    m_pWatcher = new CMountWatcher(this);
    connect(m_pWatcher, &CMountWatcher::arrived, this, [this] { OnDeviceChanged(EDeviceEvent::Arrival); });
    connect(m_pWatcher, &CMountWatcher::removed, this, [this] { OnDeviceChanged(EDeviceEvent::RemoveComplete); });
}

CKFileDialog::~CKFileDialog() = default;

void CKFileDialog::SetTitleId(UINT titleId)
{
    if (titleId != 0)
        SetTitle(ResString(titleId));
}

std::vector<std::wstring> CKFileDialog::ParseExtensions(const std::wstring& filter)
{
    std::vector<std::wstring> extensions;
    const QString text = ToQString(filter).trimmed().toLower();
    if (text.isEmpty() || text == QStringLiteral("*.*"))
        return extensions;
    for (const QString& piece : text.split(QRegularExpression(QStringLiteral("[ ,\t\r\n]+")), Qt::SkipEmptyParts)) {
        QString extension = piece;
        // "*.opml" and ".opml" name the same extension as "opml".
        while (extension.startsWith(QLatin1Char('*')) || extension.startsWith(QLatin1Char('.')))
            extension.remove(0, 1);
        if (!extension.isEmpty())
            extensions.push_back(ToWide(extension));
    }
    return extensions;
}

bool CKFileDialog::GetValidFolder(std::wstring& path)
{
    if (path.empty()) {
        DebugLog("CKFileDialog::GetValidFolder", "szPath is null");
        return false;
    }
    if (IsFolder(path))
        return true;
    // The deepest leading folder that still exists: a path on a card that
    // was pulled falls back to the folder the card was mounted in, or above.
    std::wstring found;
    for (size_t i = 0; i < path.size(); ++i) {
        if (!IsPathSeparator(path[i]))
            continue;
        const std::wstring prefix = i == 0 ? std::wstring(L"/") : path.substr(0, i);
        if (IsFolder(prefix))
            found = prefix;
    }
    if (found.empty())
        return false;
    path = found;
    return true;
}

bool CKFileDialog::OnInitDialog()
{
    UINT menu = m_nMenuId;
    if (menu == 0)
        menu = m_nMode == kSaveAs ? IDR_PICKER_SAVE : IDR_PICKER;
    SetMenuBar(menu);
    m_pName->setVisible(m_nMode == kSaveAs);
    m_pName->setEnabled(m_nMode == kSaveAs);
    m_pName->setText(ToQString(m_strDefaultName));
    m_strChosen.clear();
    std::wstring folder = m_strFolder;
    if (!GetValidFolder(folder))
        folder = m_strRoot;
    ListFolder(folder);
    m_pList->setFocus(Qt::OtherFocusReason);
    return true;
}

bool CKFileDialog::PassesFilter(const QString& fileName) const
{
    if (m_extensions.empty())
        return true;
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const std::wstring extension = ToWide(fileName.mid(dot + 1).toLower());
    return std::find(m_extensions.begin(), m_extensions.end(), extension) != m_extensions.end();
}

void CKFileDialog::ListFolder(const std::wstring& requested)
{
    m_pList->setUpdatesEnabled(false);
    m_pList->DeleteAllItems();
    m_rows.clear();
    if (requested.empty()) {
        m_pList->setUpdatesEnabled(true);
        ShowMessageBox(this, IDS_INPUT_PATH_NULL, MB_OK | MB_ICONHAND);
        return;
    }
    std::wstring folder = requested;
    GetValidFolder(folder);
    m_strFolder = WithoutTrailingSeparator(folder);
    m_pWait.reset();

    if (!IsRootPath(m_strFolder) && WithoutTrailingSeparator(m_strRoot) != m_strFolder)
        m_rows.push_back({ERow::Parent, kParentRow});
    // The file system's own order is a hash order here: names are sorted
    // so that a folder reads the same every time.
    QDir dir(ToQString(m_strFolder));
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                          QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        // Hidden: a name that starts with ".". A folder that cannot be
        // entered would list nothing; read-only folders (most folders
        // outside the home, the media folders among them) are listed.
        if (entry.fileName().startsWith(QLatin1Char('.')) || !entry.isDir())
            continue;
        if (!entry.isReadable() || !entry.isExecutable())
            continue;
        m_rows.push_back({ERow::Folder, entry.fileName()});
    }
    if (m_nMode != kSelectFolder) {
        for (const QFileInfo& entry : entries) {
            if (entry.fileName().startsWith(QLatin1Char('.')) || entry.isDir() || !entry.exists())
                continue;
            if (!PassesFilter(entry.fileName()))
                continue;
            m_rows.push_back({ERow::File, entry.fileName()});
        }
    }
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_pList->InsertItem(static_cast<int>(i), m_rows[i].name, -1, i);
    m_pList->setUpdatesEnabled(true);
    if (!m_rows.empty())
        m_pList->SelectRow(0);
    ShowFolderLabel();
}

void CKFileDialog::ShowFolderLabel()
{
    const QString path = ToQString(m_strFolder);
    m_pFolderLabel->setToolTip(path);
    const int width = std::max(20, m_pFolderLabel->contentsRect().width());
    m_pFolderLabel->setText(ElidePath(path, m_pFolderLabel->fontMetrics(), width));
}

void CKFileDialog::resizeEvent(QResizeEvent* event)
{
    CFullScreenDialog::resizeEvent(event);
    m_pList->SetColumnWidth(0, std::max(40, Client()->width() - 25));
    QTimer::singleShot(0, this, [this] { ShowFolderLabel(); });
}

const CKFileDialog::CRow* CKFileDialog::RowAt(int row) const
{
    if (row < 0 || row >= m_pList->GetItemCount())
        return nullptr;
    const auto index = static_cast<size_t>(m_pList->ItemData(row));
    return index < m_rows.size() ? &m_rows[index] : nullptr;
}

void CKFileDialog::ActivateRow(int row)
{
    const CRow* entry = RowAt(row);
    if (entry == nullptr)
        return;
    switch (entry->kind) {
    case ERow::Parent: {
        std::wstring parent = m_strFolder;
        const size_t cut = parent.find_last_of(L"/\\");
        parent = cut == std::wstring::npos || cut == 0 ? std::wstring(L"/") : parent.substr(0, cut);
        ListFolder(parent);
        break;
    }
    case ERow::Folder:
        ListFolder(JoinPath(m_strFolder, ToWide(entry->name)));
        break;
    case ERow::File:
        if (m_nMode == kOpen)
            ShellExecuteOpen(JoinPath(m_strFolder, ToWide(entry->name)));
        else if (m_nMode == kSaveAs)
            m_pName->setText(entry->name);
        break;
    }
}

void CKFileDialog::OnDeviceChanged(EDeviceEvent event)
{
    if (event == EDeviceEvent::Arrival) {
        DebugLog("CKFileDialog::OnDeviceChanged", "Storage Card Inserted (DBT_DEVICEARRIVAL)");
    } else {
        DebugLog("CKFileDialog::OnDeviceChanged", "Storage Card Remove (DBT_DEVICEREMOVECOMPLETE)");
        if (m_pWait == nullptr)
            m_pWait = std::make_unique<CWaitCursor>();
    }
    // The listing is stale either way: a new card shows in the folder that
    // holds it, and a pulled one takes the current folder with it.
    QTimer::singleShot(0, this, [this] { ListFolder(m_strFolder); });
}

bool CKFileDialog::OnDone()
{
    const CRow* selected = RowAt(m_pList->GetSelectedRow());
    switch (m_nMode) {
    case kSaveAs: {
        const QString name = m_pName->text().trimmed();
        if (name.isEmpty())
            return false;
        const std::wstring path = JoinPath(m_strFolder, ToWide(name));
        if (PathExists(path) &&
            ShowMessageBox(this, IDS_OVERWRITE_FILE, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
        m_strChosen = path;
        return true;
    }
    case kSelectFolder:
        m_strChosen = selected != nullptr && selected->kind == ERow::Folder
                          ? JoinPath(m_strFolder, ToWide(selected->name))
                          : m_strFolder;
        return true;
    default:
        if (selected == nullptr || selected->kind != ERow::File) {
            // Done on a folder opens it, so the user can walk on.
            if (selected != nullptr)
                ActivateRow(m_pList->GetSelectedRow());
            return false;
        }
        m_strChosen = JoinPath(m_strFolder, ToWide(selected->name));
        return true;
    }
}

void CKFileDialog::OnCommand(int id)
{
    if (id == ID_DONE) {
        if (OnDone())
            EndDialog(ID_DONE);
        return;
    }
    if (id == ID_CANCEL || id == IDCANCEL) {
        m_pWait.reset();
        EndDialog(ID_CANCEL);
    }
}
