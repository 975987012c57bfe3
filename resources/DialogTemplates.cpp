#include "resources/DialogTemplates.h"

#include <algorithm>

namespace {

using K = EControlKind;

std::vector<CDialogTemplate> BuildTemplates()
{
    return {
        {IDD_ABOUT, IDS_MENU_ABOUT, IDR_DONE, {{IDC_ABOUT_LOGO, K::Picture, IDB_ABOUT_LOGO}}},
        {IDD_NEW_FOLDER,
         IDS_NEW_FOLDER,
         IDR_DONE_CANCEL,
         {{IDC_FOLDER_LABEL, K::Label, IDS_LABEL_FOLDER_NAME},
          {IDC_FOLDER_EDIT, K::Edit, 0, 80},
          {IDC_CREATE_AT_ROOT, K::CheckBox, IDS_CHECK_CREATE_AT_ROOT}}},
        {IDD_ADD_FEED,
         IDS_NEW_SUBSCRIPTION,
         IDR_DONE_CANCEL,
         {{IDC_URL_LABEL, K::Label, IDS_LABEL_ENTER_FEED_URL},
          {IDC_URL_EDIT, K::Edit, 0, 256},
          {IDC_FETCH_NAME, K::CheckBox, IDS_CHECK_FETCH_NAME},
          {IDC_NAME_EDIT, K::Edit, 0, 80},
          {IDC_CREATE_AT_ROOT, K::CheckBox, IDS_CHECK_CREATE_AT_ROOT}}},
        {IDD_FILE_PICKER,
         0,
         0,
         {{IDC_PICKER_FOLDER, K::Label, 0},
          {IDC_PICKER_LIST, K::ReportList, IDS_COLUMN_FILENAME},
          {IDC_PICKER_NAME, K::Edit, 0, 50}}},
        {IDD_CHANNEL_TREE, IDS_APP_TITLE, IDR_MAIN_MENU, {{IDC_TREE, K::Tree}}},
        {IDD_IMPORT_CHOICE,
         IDS_MENU_IMPORT,
         IDR_DONE_CANCEL,
         {{IDC_CHOICE_STATIC, K::Label, 0}, {IDC_CHOICE_LIST, K::ReportList, IDS_COLUMN_SELECT_MENU}}},
        {IDD_SEARCH,
         0,
         IDR_SEARCH_EDIT,
         {{IDC_SEARCH_LABEL, K::Label, 0},
          {IDC_SEARCH_EDIT, K::Edit, 0, 20},
          {IDC_SEARCH_LIST, K::ReportList, IDS_FEED_TITLE}}},
        {IDD_RENAME, 0, IDR_DONE_CANCEL, {{IDC_RENAME_LABEL, K::Label, IDS_LABEL_NAME}, {IDC_RENAME_EDIT, K::Edit, 0, 80}}},
        {IDD_UPDATE,
         IDS_UPDATE_FEEDS,
         IDR_DONE_CANCEL,
         {{IDC_UPDATE_PROGRESS, K::ProgressBar}, {IDC_UPDATE_STATUS, K::Label, IDS_CONNECTING}}},
        {IDD_OPTIONS_GENERAL,
         IDS_PAGE_GENERAL,
         0,
         {{IDC_METHOD_LABEL, K::Label, IDS_UPDATE_METHOD},
          {IDC_OPTION_LIST1, K::DropDownList},
          {IDC_INTERVAL_LABEL, K::Label, IDS_UPDATE_INTERVAL},
          {IDC_OPTION_LIST2, K::DropDownList},
          {IDC_UPDATE_ON_STARTUP, K::CheckBox, IDS_UPDATE_ON_STARTUP},
          {IDC_UPDATE_ON_CONNECTED, K::CheckBox, IDS_UPDATE_ON_CONNECTED},
          {IDC_NOTIFY_NEW_PAGES, K::CheckBox, IDS_NOTIFY_NEW_PAGES}}},
        {IDD_SUBSCRIPTION_CHOICE,
         IDS_NEW_SUBSCRIPTION,
         IDR_DONE_CANCEL,
         {{IDC_CHOICE_STATIC, K::Label, 0}, {IDC_CHOICE_LIST, K::ReportList, IDS_COLUMN_SELECT_MENU}}},
        {IDD_OPTIONS_PAGE,
         IDS_PAGE_PAGE,
         0,
         {{IDC_EXPIRE_LABEL, K::Label, IDS_EXPIRE_AFTER},
          {IDC_OPTION_LIST1, K::DropDownList},
          {IDC_MAX_PAGES_LABEL, K::Label, IDS_MAX_PAGES},
          {IDC_OPTION_LIST2, K::DropDownList}}},
        {IDD_OPTIONS_NEW_ITEMS,
         IDS_PAGE_NEW_ITEMS,
         0,
         {{IDC_NEW_ITEM_DAYS_LABEL, K::Label, IDS_NEW_ITEM_SETUP},
          {IDC_OPTION_LIST1, K::DropDownList},
          {IDC_NEW_ITEM_COUNT_LABEL, K::Label, IDS_DISPLAY_NEW_ITEMS},
          {IDC_OPTION_LIST2, K::DropDownList}}},
        {IDD_OPTIONS_SYNC,
         IDS_PAGE_SYNC,
         0,
         {{IDC_SYNC_SERVER_LABEL, K::Label, IDS_SYNC_SERVER_LABEL},
          {IDC_SYNC_SERVER, K::Edit},
          {IDC_SYNC_USER_LABEL, K::Label, IDS_SYNC_USER_LABEL},
          {IDC_SYNC_USER, K::Edit},
          {IDC_SYNC_PASSWORD_LABEL, K::Label, IDS_SYNC_PASSWORD_LABEL},
          {IDC_SYNC_PASSWORD, K::Edit},
          {IDC_SYNC_TEST, K::Button, IDS_SYNC_TEST},
          {IDC_SYNC_REMOVE, K::Button, IDS_SYNC_REMOVE},
          {IDC_SYNC_STATUS, K::Label},
          {IDC_SYNC_PLACE, K::Label}}},
        {IDD_PROPERTIES, IDS_PROPERTIES, IDR_DONE, {}},
        {IDD_EPISODE_LIST, 0, 0, {{IDC_EPISODE_LIST, K::ReportList}}},
        {IDD_FEED_CHOICE,
         IDS_CHOOSE_FEED,
         IDR_DONE_CANCEL,
         {{IDC_CHOICE_STATIC, K::Label, IDS_CHOOSE_FEED_LABEL}, {IDC_CHOICE_LIST, K::ReportList, IDS_FEED_TITLE}}},
        {IDD_FIND, IDS_MENU_FIND, IDR_DONE_CANCEL, {{IDC_FIND_LABEL, K::Label, IDS_FIND_LABEL}, {IDC_FIND_EDIT, K::Edit, 0, 80}}},
    };
}

const std::vector<CDialogTemplate>& Templates()
{
    static const std::vector<CDialogTemplate> templates = BuildTemplates();
    return templates;
}

} // namespace

const CDialogTemplate* FindDialogTemplate(UINT id)
{
    const auto& templates = Templates();
    const auto found =
        std::find_if(templates.begin(), templates.end(), [id](const CDialogTemplate& t) { return t.id == id; });
    return found == templates.end() ? nullptr : &*found;
}

std::span<const CDialogTemplate> AllDialogTemplates() { return Templates(); }
