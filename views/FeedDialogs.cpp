#include "views/FeedDialogs.h"

#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"
#include "views/AddFeedDlg.h"
#include "views/ChoiceDlg.h"
#include "views/KFileDialog.h"
#include "views/NewFolderDlg.h"
#include "views/OpmlAddressDlg.h"
#include "views/PropertiesDlg.h"
#include "views/RenameDlg.h"

std::wstring ImportExportFolder()
{
    std::wstring documents;
    SHGetSpecialFolderPath(CSIDL_PERSONAL, documents);
    return JoinPath(documents, L"RSS Reader");
}

void InstallFeedDialogs(CTreeDialogs& dialogs)
{
    dialogs.addFeed = [](QWidget* host, CReaderSession&) -> std::optional<CTreeDialogs::CAddedFeed> {
        CAddFeedDlg dialog(host);
        if (dialog.DoModal() != ID_DONE)
            return std::nullopt;
        CTreeDialogs::CAddedFeed added;
        added.feed = dialog.TakeFeed();
        added.atRoot = dialog.AtRoot();
        if (added.feed == nullptr)
            return std::nullopt;
        return added;
    };
    dialogs.newFolder = [](QWidget* host) -> std::optional<CTreeDialogs::CNewFolder> {
        CNewFolderDlg dialog(host);
        if (dialog.DoModal() != ID_DONE)
            return std::nullopt;
        return CTreeDialogs::CNewFolder{dialog.Name(), dialog.AtRoot()};
    };
    dialogs.rename = [](QWidget* host, CReaderSession& session, COutline& outline) -> std::optional<std::wstring> {
        CRenameDlg dialog(host, session, &outline);
        if (dialog.DoModal() != ID_DONE)
            return std::nullopt;
        return dialog.NewName();
    };
    dialogs.properties = [](QWidget* host, const std::vector<CPropertyRow>& rows) {
        CPropertiesDlg dialog(host, rows);
        dialog.DoModal();
    };
    dialogs.importSource = [](QWidget* host) { return RunImportSourceDialog(host); };
    dialogs.pickFile = [](QWidget* host, const CTreeDialogs::CFileRequest& request) -> std::optional<std::wstring> {
        const std::wstring folder = request.folder.empty() ? ImportExportFolder() : request.folder;
        CKFileDialog dialog(host, request.mode, folder, request.defaultName, request.extensions);
        dialog.SetTitleId(request.titleId);
        dialog.SetMenuId(request.menuId);
        if (dialog.DoModal() != ID_DONE)
            return std::nullopt;
        return dialog.ChosenPath();
    };
    dialogs.opmlAddress = [](QWidget* host, CReaderSession&) {
        COpmlAddressDlg dialog(host);
        dialog.DoModal();
        // Cancel answered Yes keeps them too.
        return dialog.TakeCollected();
    };
}
