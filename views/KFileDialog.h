#pragma once
// CKFileDialog (template 212): the reader's own file and folder browser,
// full-screen, one folder at a time. Modes: 0 open, 1 select file, 2 save
// as, 3 select folder. The current folder shows at the top (its middle
// replaced by ".../" when it is too long), its folders and files below
// (".." first, except at the root folder; files only outside mode 3, and
// only those whose extension is in the filter), and in mode 2 the file name
// at the bottom.
//
// Tapping ".." goes up to the nearest folder that exists; a folder opens;
// a file is opened by the desktop (mode 0), chosen (mode 1) or put into the
// name (mode 2). "Done"/"Save"/"Select" ends with ID_DONE and ChosenPath():
// the folder + "/" + the file name, or the folder in mode 3. Saving over an
// existing file asks first; No keeps the dialog open.
//
// Removable media: a card mounted or unmounted under /media/$USER or
// /run/media/$USER while the picker is open reaches OnDeviceChanged through
// a CMountWatcher; a removal moves the picker to the deepest folder of its
// path that still exists.
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "views/FullScreenDialog.h"

class QLabel;
class QLineEdit;
class CMountWatcher;
class CReportList;
class CWaitCursor;

// The path as shown in width pixels of the font: when it does not fit, its
// middle folders give way to ".../" (the first folder and the last names are
// kept as long as they fit).
QString ElidePath(const QString& path, const QFontMetrics& metrics, int width);

class CKFileDialog : public CFullScreenDialog {
    Q_OBJECT
public:
    enum EMode { kOpen = 0, kSelectFile = 1, kSaveAs = 2, kSelectFolder = 3 };
    enum class EDeviceEvent { Arrival, RemoveComplete };

    // extensions: "opml", "xml, opml", "*.*" or empty (every file).
    CKFileDialog(QWidget* host, int mode, const std::wstring& folder, const std::wstring& defaultName = L"",
                 const std::wstring& extensions = L"");
    ~CKFileDialog() override;

    void SetTitleId(UINT titleId);
    // Another soft-key menu than the mode's (226 "Select" | "Cancel").
    void SetMenuId(UINT menuId) { m_nMenuId = menuId; }
    // The folder above which ".." is not offered ("/" unless set).
    void SetRootFolder(const std::wstring& root) { m_strRoot = root; }

    // After ID_DONE.
    const std::wstring& ChosenPath() const { return m_strChosen; }
    const std::wstring& CurrentFolder() const { return m_strFolder; }
    CReportList* List() const { return m_pList; }
    CMountWatcher* MountWatcher() const { return m_pWatcher; }

    // Lists the folder (made valid first) and makes it the current one.
    void ListFolder(const std::wstring& folder);
    // Opens the row as a tap does.
    void ActivateRow(int row);
    void OnDeviceChanged(EDeviceEvent event);

    // The path itself when it is a folder, else its deepest leading folder
    // that exists; false (path untouched) for an empty path or none.
    static bool GetValidFolder(std::wstring& path);
    // The extension filter as a set of lower-case extensions; empty for all.
    static std::vector<std::wstring> ParseExtensions(const std::wstring& filter);

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class ERow { Parent, Folder, File };
    struct CRow {
        ERow kind;
        QString name;
    };

    bool PassesFilter(const QString& fileName) const;
    void ShowFolderLabel();
    bool OnDone();
    const CRow* RowAt(int row) const;

    int m_nMode;
    std::wstring m_strFolder;
    std::wstring m_strRoot = L"/";
    std::wstring m_strDefaultName;
    std::vector<std::wstring> m_extensions;
    UINT m_nMenuId = 0;
    std::wstring m_strChosen;
    std::vector<CRow> m_rows;
    QLabel* m_pFolderLabel = nullptr;
    CReportList* m_pList = nullptr;
    QLineEdit* m_pName = nullptr;
    CMountWatcher* m_pWatcher = nullptr;
    std::unique_ptr<CWaitCursor> m_pWait; // a card went: until the next listing
    QElapsedTimer m_tapped;               // since the last tap that opened a row
};
