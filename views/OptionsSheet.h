#pragma once
// The options sheet ("Options"): four pages in this order, their tabs
// along the bottom: General (224: how and how often feeds are updated, and
// whether an automatic update that brought new pages says so), New Items
// (228: which pages the new-items view lists), Page (226: when old pages are
// deleted) and Sync (230: the sync account, views/SyncPage.h). Each page fills its drop-down lists from the string
// table, selects the stored indexes (an index outside its list selects
// nothing) and sets its check boxes when it opens, and stores its values
// through CSetting whenever it stops being the page shown, the closing of
// the sheet included. The interval list is enabled only while the method is
// "Automatic".
//
// The shown page's first drop-down list has the keyboard, from the opening
// and after each change of page, so Up and Down change values straight
// away; on the tabs they go into the page.
//
// Closing the sheet always restarts the automatic-update interval: the
// General page sets LastUpdated to now and then stores the update method.
// The caller runs the clean-up over the whole tree afterwards (a smaller
// MaxPages trims the store), as after an update.
#include <QCheckBox>
#include <QComboBox>
#include <cstdint>
#include <initializer_list>

#include "views/DialogControls.h"
#include "views/FullScreenDialog.h"

class QTabWidget;
class CSyncPage;

class COptionsPage : public QWidget {
    Q_OBJECT
public:
    COptionsPage(QWidget* parent, UINT templateId);

    // From CSetting, when the sheet opens.
    virtual void Load() = 0;
    // Into CSetting, when the page stops being shown.
    virtual void Store() = 0;

    UINT TitleId() const;
    QComboBox* List1() const { return m_controls.Get<QComboBox>(IDC_OPTION_LIST1); }
    QComboBox* List2() const { return m_controls.Get<QComboBox>(IDC_OPTION_LIST2); }

protected:
    // Fills the list with the texts in order (so an entry's index is the
    // stored value) and selects the index, or nothing outside the list.
    static void FillList(QComboBox* list, std::initializer_list<UINT> entries, std::uint32_t selected);

    CDialogControls m_controls;
};

class CGeneralPage : public COptionsPage {
    Q_OBJECT
public:
    explicit CGeneralPage(QWidget* parent);
    void Load() override;
    void Store() override;
    // The sheet is closing: LastUpdated restarts, then the method is stored.
    void OnSheetClosed();

    QCheckBox* UpdateOnStartup() const { return m_controls.Get<QCheckBox>(IDC_UPDATE_ON_STARTUP); }
    QCheckBox* UpdateOnConnected() const { return m_controls.Get<QCheckBox>(IDC_UPDATE_ON_CONNECTED); }
    QCheckBox* NotifyNewPages() const { return m_controls.Get<QCheckBox>(IDC_NOTIFY_NEW_PAGES); }

private:
    void OnMethodChanged(int index);
};

class CNewItemsPage : public COptionsPage {
    Q_OBJECT
public:
    explicit CNewItemsPage(QWidget* parent);
    void Load() override;
    void Store() override;
};

class CPagePage : public COptionsPage {
    Q_OBJECT
public:
    explicit CPagePage(QWidget* parent);
    void Load() override;
    void Store() override;
};

class COptionsSheet : public CFullScreenDialog {
    Q_OBJECT
public:
    explicit COptionsSheet(QWidget* host);

    QTabWidget* Tabs() const { return m_pTabs; }
    CGeneralPage* General() const { return m_pGeneral; }
    CNewItemsPage* NewItems() const { return m_pNewItems; }
    CPagePage* Pages() const { return m_pPage; }
    CSyncPage* Sync() const { return m_pSync; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void OnPageChanged(int index);
    void FocusPage();
    COptionsPage* PageAt(int index) const;

    QTabWidget* m_pTabs = nullptr;
    CGeneralPage* m_pGeneral = nullptr;
    CNewItemsPage* m_pNewItems = nullptr;
    CPagePage* m_pPage = nullptr;
    CSyncPage* m_pSync = nullptr;
    int m_nShown = 0;
    bool m_bClosed = false;
};

// Runs the sheet over the host.
void RunOptionsSheet(QWidget* host);
