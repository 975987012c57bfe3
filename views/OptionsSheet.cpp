#include "views/OptionsSheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "update/Setting.h"
#include "views/DialogFonts.h"
#include "views/ResText.h"
#include "views/SyncPage.h"

namespace {

constexpr int kLabelIds[] = {IDC_METHOD_LABEL,        IDC_INTERVAL_LABEL, IDC_NEW_ITEM_DAYS_LABEL,
                             IDC_NEW_ITEM_COUNT_LABEL, IDC_EXPIRE_LABEL,   IDC_MAX_PAGES_LABEL};

DWORD Selection(const QComboBox* list) { return static_cast<DWORD>(list->currentIndex()); }

} // namespace

COptionsPage::COptionsPage(QWidget* parent, UINT templateId) : QWidget(parent), m_controls(this, templateId)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(6);
    for (QWidget* control : m_controls.Widgets()) {
        layout->addWidget(control);
        const bool isLabel = std::find(std::begin(kLabelIds), std::end(kLabelIds), ControlId(control)) !=
                             std::end(kLabelIds);
        QFont font = control->font();
        font.setWeight(isLabel ? QFont::Bold : QFont::Normal);
        control->setFont(font);
    }
    layout->addStretch(1);
}

UINT COptionsPage::TitleId() const { return m_controls.Template() != nullptr ? m_controls.Template()->titleId : 0; }

void COptionsPage::FillList(QComboBox* list, std::initializer_list<UINT> entries, std::uint32_t selected)
{
    list->clear();
    for (UINT entry : entries)
        list->addItem(ResString(entry));
    list->setCurrentIndex(selected < entries.size() ? static_cast<int>(selected) : -1);
}

CGeneralPage::CGeneralPage(QWidget* parent) : COptionsPage(parent, IDD_OPTIONS_GENERAL)
{
    connect(List1(), &QComboBox::currentIndexChanged, this, &CGeneralPage::OnMethodChanged);
}

void CGeneralPage::Load()
{
    const CSetting& setting = CSetting::Instance();
    // Label texts come from the table when the page opens.
    SetControlText(m_controls.Control(IDC_METHOD_LABEL), IDS_UPDATE_METHOD);
    SetControlText(m_controls.Control(IDC_INTERVAL_LABEL), IDS_UPDATE_INTERVAL);
    {
        const QSignalBlocker quiet(List1());
        FillList(List1(), {IDS_AUTOMATIC, IDS_MANUAL}, setting.GetUpdateMethod());
    }
    FillList(List2(), {IDS_INTERVAL_1_HOUR, IDS_INTERVAL_1_HOUR + 1, IDS_INTERVAL_1_HOUR + 2, IDS_INTERVAL_1_HOUR + 3,
                       IDS_INTERVAL_1_WEEK},
             setting.GetUpdateInterval());
    List2()->setEnabled(setting.GetUpdateMethod() != CSetting::kUpdateManual);
    UpdateOnStartup()->setChecked(setting.GetUpdateOnStartup() != 0);
    UpdateOnConnected()->setChecked(setting.GetUpdateOnConnected() != 0);
    NotifyNewPages()->setChecked(setting.GetNotifyNewPages() != 0);
}

void CGeneralPage::OnMethodChanged(int index) { List2()->setEnabled(index == 0); }

void CGeneralPage::Store()
{
    CSetting& setting = CSetting::Instance();
    setting.SetUpdateOnStartup(UpdateOnStartup()->isChecked() ? 1 : 0);
    setting.SetUpdateOnConnected(UpdateOnConnected()->isChecked() ? 1 : 0);
    setting.SetNotifyNewPages(NotifyNewPages()->isChecked() ? 1 : 0);
    setting.SetUpdateInterval(Selection(List2()));
}

void CGeneralPage::OnSheetClosed()
{
    CSetting& setting = CSetting::Instance();
    setting.SetLastUpdatedNow();
    setting.SetUpdateMethod(Selection(List1()));
}

CNewItemsPage::CNewItemsPage(QWidget* parent) : COptionsPage(parent, IDD_OPTIONS_NEW_ITEMS) {}

void CNewItemsPage::Load()
{
    const CSetting& setting = CSetting::Instance();
    SetControlText(m_controls.Control(IDC_NEW_ITEM_DAYS_LABEL), IDS_NEW_ITEM_SETUP);
    SetControlText(m_controls.Control(IDC_NEW_ITEM_COUNT_LABEL), IDS_DISPLAY_NEW_ITEMS);
    FillList(List1(), {IDS_TODAY_ONLY, IDS_1_DAY_AGO, IDS_2_DAYS_AGO, IDS_3_DAYS_AGO, IDS_1_WEEK_AGO},
             setting.GetNewItemDays());
    FillList(List2(), {IDS_COUNT_20, IDS_COUNT_20 + 1, IDS_COUNT_20 + 2, IDS_COUNT_20 + 3, IDS_COUNT_200},
             setting.GetNewItemCount());
}

void CNewItemsPage::Store()
{
    CSetting& setting = CSetting::Instance();
    setting.SetNewItemDays(Selection(List1()));
    setting.SetNewItemCount(Selection(List2()));
}

CPagePage::CPagePage(QWidget* parent) : COptionsPage(parent, IDD_OPTIONS_PAGE) {}

void CPagePage::Load()
{
    const CSetting& setting = CSetting::Instance();
    SetControlText(m_controls.Control(IDC_EXPIRE_LABEL), IDS_EXPIRE_AFTER);
    SetControlText(m_controls.Control(IDC_MAX_PAGES_LABEL), IDS_MAX_PAGES);
    FillList(List1(), {IDS_NOT_AVAILABLE, IDS_EXPIRE_1_DAY, IDS_EXPIRE_1_DAY + 1, IDS_EXPIRE_1_DAY + 2, IDS_EXPIRE_1_WEEK},
             setting.GetExpireAfter());
    FillList(List2(), {IDS_COUNT_20, IDS_COUNT_20 + 1, IDS_COUNT_20 + 2, IDS_COUNT_20 + 3, IDS_COUNT_200},
             setting.GetMaxPages());
}

void CPagePage::Store()
{
    CSetting& setting = CSetting::Instance();
    setting.SetExpireAfter(Selection(List1()));
    setting.SetMaxPages(Selection(List2()));
}

COptionsSheet::COptionsSheet(QWidget* host) : CFullScreenDialog(host)
{
    SetTitle(ResString(IDS_OPTIONS));
    SetMenuBar(IDR_DONE);
    m_pTabs = new QTabWidget(Client());
    m_pTabs->setTabPosition(QTabWidget::South);
    m_pTabs->setDocumentMode(true);
    m_pGeneral = new CGeneralPage(m_pTabs);
    m_pNewItems = new CNewItemsPage(m_pTabs);
    m_pPage = new CPagePage(m_pTabs);
    m_pSync = new CSyncPage(m_pTabs);
    for (COptionsPage* page : {static_cast<COptionsPage*>(m_pGeneral), static_cast<COptionsPage*>(m_pNewItems),
                               static_cast<COptionsPage*>(m_pPage), static_cast<COptionsPage*>(m_pSync)})
        m_pTabs->addTab(page, ResString(page->TitleId()));
    ClientLayout()->setContentsMargins(0, 0, 0, 0);
    ClientLayout()->addWidget(m_pTabs, 1);
    connect(m_pTabs, &QTabWidget::currentChanged, this, &COptionsSheet::OnPageChanged);
    connect(this, &CFullScreenDialog::shown, this, [this] { FocusPage(); });
    m_pTabs->tabBar()->installEventFilter(this);
}

// The page's first drop-down list takes the keys, so Up and Down change a
// value at once instead of resting on the tabs.
void COptionsSheet::FocusPage()
{
    COptionsPage* page = PageAt(m_pTabs->currentIndex());
    if (page == nullptr)
        return;
    for (QComboBox* list : {page->List1(), page->List2()}) {
        if (list != nullptr && list->isEnabled()) {
            list->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

bool COptionsSheet::eventFilter(QObject* object, QEvent* event)
{
    // Up or Down on the tabs go into the page.
    if (object == m_pTabs->tabBar() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            FocusPage();
            return true;
        }
    }
    return CFullScreenDialog::eventFilter(object, event);
}

COptionsPage* COptionsSheet::PageAt(int index) const { return qobject_cast<COptionsPage*>(m_pTabs->widget(index)); }

bool COptionsSheet::OnInitDialog()
{
    m_bClosed = false;
    for (int i = 0; i < m_pTabs->count(); ++i)
        PageAt(i)->Load();
    {
        const QSignalBlocker quiet(m_pTabs);
        m_pTabs->setCurrentIndex(0);
    }
    m_nShown = 0;
    return true;
}

void COptionsSheet::OnPageChanged(int index)
{
    if (COptionsPage* left = PageAt(m_nShown))
        left->Store();
    m_nShown = index;
    if (IsRunning())
        FocusPage();
}

void COptionsSheet::OnCommand(int id)
{
    if (id != ID_DONE && id != ID_CANCEL && id != IDOK && id != IDCANCEL)
        return;
    if (!m_bClosed) {
        m_bClosed = true;
        if (COptionsPage* shown = PageAt(m_nShown))
            shown->Store();
        m_pGeneral->OnSheetClosed();
    }
    EndDialog(id == ID_CANCEL || id == IDCANCEL ? ID_CANCEL : ID_DONE);
}

void RunOptionsSheet(QWidget* host)
{
    COptionsSheet sheet(host);
    sheet.DoModal();
}
