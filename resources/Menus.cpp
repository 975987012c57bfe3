#include "resources/Menus.h"

#include <algorithm>

namespace {

CMenuItem Command(int command, UINT textId)
{
    return CMenuItem{CMenuItem::Kind::Command, command, textId, {}};
}

CMenuItem Popup(UINT textId, std::vector<CMenuItem> items)
{
    return CMenuItem{CMenuItem::Kind::Popup, 0, textId, std::move(items)};
}

CMenuItem Separator() { return CMenuItem{CMenuItem::Kind::Separator, 0, 0, {}}; }

CMenuItem Blank() { return CMenuItem{CMenuItem::Kind::Command, 0, 0, {}}; }

CMenuItem Done() { return Command(ID_DONE, IDS_KEY_DONE); }
CMenuItem Cancel() { return Command(ID_CANCEL, IDS_KEY_CANCEL); }

std::vector<CMenuItem> SortByItems()
{
    return {Command(ID_SORT_TITLE, IDS_MENU_TITLE), Command(ID_SORT_DATE, IDS_DATE), Separator(),
            Command(ID_SORT_ASCENDING, IDS_MENU_ASCENDING), Command(ID_SORT_DESCENDING, IDS_MENU_DESCENDING)};
}

std::vector<CMenuItem> ViewItems()
{
    return {Command(ID_VIEW_HEADER, IDS_MENU_HEADER), Command(ID_VIEW_DESCRIPTION, IDS_DESCRIPTION)};
}

std::vector<CMenuResource> BuildMenus()
{
    std::vector<CMenuResource> menus;
    menus.push_back({IDR_MAIN_MENU,
                     {Command(ID_NEW_ITEMS, IDS_KEY_NEW),
                      Popup(IDS_KEY_MENU,
                            {Popup(IDS_NEW_SUBSCRIPTION, {Command(ID_ENTER_URL, IDS_MENU_ENTER_URL),
                                                          Command(ID_ONLINE_SEARCH, IDS_ONLINE_SEARCH)}),
                             Popup(IDS_MENU_EDIT,
                                   {Command(ID_MARK_READ, IDS_MENU_MARK_READ),
                                    Command(ID_MARK_UNREAD, IDS_MENU_MARK_UNREAD), Separator(),
                                    Command(ID_MOVE, IDS_MENU_MOVE), Command(ID_DELETE, IDS_MENU_DELETE),
                                    Command(ID_RENAME, IDS_MENU_RENAME), Command(ID_NEW_FOLDER, IDS_NEW_FOLDER),
                                    Separator(), Command(ID_PROPERTIES, IDS_PROPERTIES)}),
                             Popup(IDS_MENU_OPML,
                                   {Command(ID_IMPORT, IDS_MENU_IMPORT), Command(ID_EXPORT, IDS_MENU_EXPORT)}),
                             Separator(), Command(ID_UPDATE, IDS_MENU_UPDATE),
                             Command(ID_UPDATE_ALL, IDS_MENU_UPDATE_ALL), Command(ID_FIND, IDS_MENU_FIND), Separator(),
                             Command(ID_OPTIONS, IDS_OPTIONS), Command(ID_APP_ABOUT, IDS_MENU_ABOUT), Separator(),
                             Command(ID_APP_EXIT, IDS_MENU_EXIT)})}});
    menus.push_back({IDR_DONE_CANCEL, {Done(), Cancel()}});
    menus.push_back({IDR_EPISODE_LIST,
                     {Command(ID_UPDATE_FEED, IDS_MENU_UPDATE),
                      Popup(IDS_KEY_MENU,
                            {Command(ID_PREVIOUS_FEED, IDS_MENU_PREVIOUS_FEED),
                             Command(ID_NEXT_FEED, IDS_MENU_NEXT_FEED),
                             Popup(IDS_MENU_EDIT, {Command(ID_PAGE_MARK_READ, IDS_MENU_MARK_READ),
                                                   Command(ID_PAGE_MARK_UNREAD, IDS_MENU_MARK_UNREAD),
                                                   Command(ID_DELETE_PAGE, IDS_MENU_DELETE_PAGE)}),
                             Popup(IDS_MENU_FILTER, {Command(ID_FILTER_UNREAD, IDS_MENU_UNREAD_ONLY),
                                                     Command(ID_FILTER_READ, IDS_MENU_READ_ONLY),
                                                     Command(ID_FILTER_TODAY, IDS_MENU_TODAY),
                                                     Command(ID_FILTER_ALL, IDS_MENU_ALL)}),
                             Popup(IDS_MENU_SORT_BY, SortByItems()), Popup(IDS_MENU_VIEW, ViewItems()),
                             Cancel()})}});
    menus.push_back({IDR_PICKER, {Done(), Cancel()}});
    menus.push_back({IDR_PICKER_SAVE, {Command(ID_DONE, IDS_KEY_SAVE), Cancel()}});
    menus.push_back({IDR_DONE, {Done()}});
    menus.push_back({IDR_MOVE, {Command(ID_MOVE_DONE, IDS_KEY_DONE), Command(ID_MOVE_CANCEL, IDS_KEY_CANCEL)}});
    menus.push_back({IDR_NEW_ITEMS,
                     {Command(ID_REFRESH, IDS_KEY_REFRESH),
                      Popup(IDS_KEY_MENU, {Command(ID_PAGE_MARK_READ, IDS_MENU_MARK_READ),
                                           Command(ID_DELETE_PAGE, IDS_MENU_DELETE_PAGE), Separator(),
                                           Popup(IDS_MENU_SORT_BY, SortByItems()),
                                           Popup(IDS_MENU_VIEW, ViewItems()), Cancel()})}});
    menus.push_back({IDR_SEARCH_EDIT, {Command(ID_SEARCH, IDS_KEY_SEARCH), Popup(IDS_KEY_MENU, {Done(), Cancel()})}});
    menus.push_back({IDR_SEARCH_LIST,
                     {Command(ID_ADD, IDS_KEY_ADD),
                      Popup(IDS_KEY_MENU, {Command(ID_SEARCH_PROPERTIES, IDS_PROPERTIES), Done(), Cancel()})}});
    menus.push_back({IDR_TREE_CONTEXT,
                     {Popup(0, {Popup(IDS_NEW_SUBSCRIPTION, {Command(ID_ENTER_URL, IDS_MENU_ENTER_URL),
                                                             Command(ID_ONLINE_SEARCH, IDS_ONLINE_SEARCH)}),
                                Separator(), Command(ID_UPDATE, IDS_MENU_UPDATE), Separator(),
                                Command(ID_MARK_READ, IDS_MENU_MARK_READ),
                                Command(ID_MARK_UNREAD, IDS_MENU_MARK_UNREAD), Separator(),
                                Command(ID_DELETE, IDS_MENU_DELETE), Command(ID_RENAME, IDS_MENU_RENAME),
                                Command(ID_NEW_FOLDER, IDS_NEW_FOLDER), Separator(),
                                Command(ID_PROPERTIES, IDS_PROPERTIES)})}});
    menus.push_back({IDR_EPISODE_CONTEXT,
                     {Popup(0, {Command(ID_PREVIOUS_FEED, IDS_MENU_PREVIOUS_FEED),
                                Command(ID_NEXT_FEED, IDS_MENU_NEXT_FEED), Separator(),
                                Command(ID_PAGE_MARK_UNREAD, IDS_MENU_MARK_UNREAD),
                                Command(ID_PAGE_MARK_READ, IDS_MENU_MARK_READ),
                                Command(ID_DELETE_PAGE, IDS_MENU_DELETE_PAGE), Separator(),
                                Command(ID_FILTER_UNREAD, IDS_MENU_UNREAD_ONLY),
                                Command(ID_FILTER_READ, IDS_MENU_READ_ONLY), Command(ID_FILTER_ALL, IDS_MENU_ALL)})}});
    menus.push_back({IDR_NEW_ITEMS_CONTEXT,
                     {Popup(0, {Command(ID_PAGE_MARK_READ, IDS_MENU_MARK_READ),
                                Command(ID_DELETE_PAGE, IDS_MENU_DELETE_PAGE)})}});
    menus.push_back({IDR_PICKER_SELECT, {Command(ID_DONE, IDS_KEY_SELECT), Cancel()}});
    menus.push_back({IDR_BUSY, {Blank(), Command(ID_STOP, IDS_KEY_CANCEL)}});
    // The pages Find found: the page commands of a feed's list.
    menus.push_back({IDR_FIND_RESULTS,
                     {Command(ID_FIND_AGAIN, IDS_MENU_FIND),
                      Popup(IDS_KEY_MENU, {Command(ID_PAGE_MARK_READ, IDS_MENU_MARK_READ),
                                           Command(ID_PAGE_MARK_UNREAD, IDS_MENU_MARK_UNREAD),
                                           Command(ID_DELETE_PAGE, IDS_MENU_DELETE_PAGE), Separator(),
                                           Popup(IDS_MENU_SORT_BY, SortByItems()),
                                           Popup(IDS_MENU_VIEW, ViewItems()), Cancel()})}});
    menus.push_back({IDR_FIND_CONTEXT,
                     {Popup(0, {Command(ID_PAGE_MARK_UNREAD, IDS_MENU_MARK_UNREAD),
                                Command(ID_PAGE_MARK_READ, IDS_MENU_MARK_READ),
                                Command(ID_DELETE_PAGE, IDS_MENU_DELETE_PAGE)})}});
    return menus;
}

const std::vector<CMenuResource>& Menus()
{
    static const std::vector<CMenuResource> menus = BuildMenus();
    return menus;
}

} // namespace

const CMenuResource* FindMenuResource(UINT id)
{
    const auto& menus = Menus();
    const auto found = std::find_if(menus.begin(), menus.end(), [id](const CMenuResource& m) { return m.id == id; });
    return found == menus.end() ? nullptr : &*found;
}

std::span<const CMenuResource> AllMenuResources() { return Menus(); }
