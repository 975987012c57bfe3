#pragma once
// The numbers of every resource: strings, commands, menus, dialog templates,
// controls and bitmaps. Texts live in resources/text/strings.txt under these
// ids (a language file replaces them); menus in Menus.cpp, dialog templates
// in DialogTemplates.cpp, bitmaps are drawn by resources/bitmaps. Strings,
// menus, dialogs and bitmaps are separate name spaces: menu 213 and
// string 213 are unrelated. Ids of 40000 and above are private texts that
// have no public number.

#include <cstdint>

using UINT = std::uint32_t;

// ---- Strings ---------------------------------------------------------------
inline constexpr UINT IDS_FEED_URL_INVALID = 103;
inline constexpr UINT IDS_EXPORT_OPML = 105;
inline constexpr UINT IDS_VERSION = 109;
inline constexpr UINT IDS_NOT_YET = 110;
inline constexpr UINT IDS_NEW_FEED = 115;
inline constexpr UINT IDS_NEW_FOLDER = 116;
inline constexpr UINT IDS_MOVE_FOLDER = 117;
inline constexpr UINT IDS_OVERWRITE_FILE = 121;
inline constexpr UINT IDS_PROPERTIES = 127;
inline constexpr UINT IDS_APP_TITLE = 128;
inline constexpr UINT IDS_LAST_UPDATE = 129;
inline constexpr UINT IDS_HOME_PAGE_URL = 131;
inline constexpr UINT IDS_INTERVAL_1_HOUR = 134; // ... 135 6 hours, 136 12 hours, 137 1 day
inline constexpr UINT IDS_INTERVAL_1_WEEK = 138;
inline constexpr UINT IDS_NO_ITEMS = 143;
inline constexpr UINT IDS_CHECK_FILTER = 144;
inline constexpr UINT IDS_WINDOW_HANDLE_NULL = 146;
inline constexpr UINT IDS_INVALID_ITEM = 149;
inline constexpr UINT IDS_OPTIONS = 155;
inline constexpr UINT IDS_NEW_SUBSCRIPTION = 156;
inline constexpr UINT IDS_ENTER_KEYWORD = 163;
inline constexpr UINT IDS_OPML_ADDRESS = 167;
inline constexpr UINT IDS_RENAME_FEED = 168;
inline constexpr UINT IDS_RENAME_FOLDER = 169;
inline constexpr UINT IDS_UPDATE_FEEDS = 171;
inline constexpr UINT IDS_CONNECTING = 172;
inline constexpr UINT IDS_CONNECTION_SUCCESSFUL = 173;
inline constexpr UINT IDS_CONNECTION_FAILED = 174;
inline constexpr UINT IDS_FEED_UPDATING = 175;
inline constexpr UINT IDS_FEEDS_UPDATED = 176;
inline constexpr UINT IDS_UPDATE_STOPPED = 177;
inline constexpr UINT IDS_UPDATE_ON_STARTUP = 178;
inline constexpr UINT IDS_IMPORT_OPML = 180;
inline constexpr UINT IDS_OPML_INCORRECT = 183;
inline constexpr UINT IDS_MANUAL = 187;
inline constexpr UINT IDS_AUTOMATIC = 188;
inline constexpr UINT IDS_UPDATE_METHOD = 189;
inline constexpr UINT IDS_NEW_ITEM_SETUP = 190;
inline constexpr UINT IDS_UPDATE_INTERVAL = 191;
inline constexpr UINT IDS_1_DAY_AGO = 192;
inline constexpr UINT IDS_UPDATE_ON_CONNECTED = 193;
inline constexpr UINT IDS_2_DAYS_AGO = 194;
inline constexpr UINT IDS_3_DAYS_AGO = 195;
inline constexpr UINT IDS_1_WEEK_AGO = 196;
inline constexpr UINT IDS_TODAY_ONLY = 197;
inline constexpr UINT IDS_FEED_EXISTS = 198;
inline constexpr UINT IDS_FEEDS_ADDED = 199;
inline constexpr UINT IDS_ENTER_FEED_URL = 200;
inline constexpr UINT IDS_SELECT_OPML_FILE = 201;
inline constexpr UINT IDS_ENTER_OPML_URL = 202;
inline constexpr UINT IDS_ONLINE_SEARCH = 203;
inline constexpr UINT IDS_EMPTY_TREE = 204;
inline constexpr UINT IDS_FEEDS_TO_ADD = 206;
inline constexpr UINT IDS_DESCRIPTION = 207;
inline constexpr UINT IDS_FEED_URL = 208;
inline constexpr UINT IDS_EXPIRE_AFTER = 210;
inline constexpr UINT IDS_MAX_PAGES = 212;
inline constexpr UINT IDS_COUNT_20 = 213; // ... 214 30, 215 50, 216 100
inline constexpr UINT IDS_COUNT_200 = 217;
inline constexpr UINT IDS_EXPIRE_1_DAY = 218; // ... 219 2 days, 220 3 days
inline constexpr UINT IDS_EXPIRE_1_WEEK = 221;
inline constexpr UINT IDS_NOT_AVAILABLE = 222;
inline constexpr UINT IDS_FEED_DB_WRITE_ERROR = 224;
inline constexpr UINT IDS_FILE_NOT_FOUND = 225;
inline constexpr UINT IDS_DISCONNECTED = 227;
inline constexpr UINT IDS_HEADLINE = 228;
inline constexpr UINT IDS_DATE = 229;
inline constexpr UINT IDS_MOVE_FEED = 230;
inline constexpr UINT IDS_NO_MATCHES = 231;
inline constexpr UINT IDS_UNSUPPORTED_URL = 232;
inline constexpr UINT IDS_FEED_ADDED = 233;
inline constexpr UINT IDS_UNABLE_TO_CONNECT = 234;
inline constexpr UINT IDS_DISPLAY_NEW_ITEMS = 236;
inline constexpr UINT IDS_FEED_TITLE = 237;
inline constexpr UINT IDS_ALL_FEEDS_ALREADY_ADDED = 1048;

// Private texts.
inline constexpr UINT IDS_BUTTON_OK = 40000;
inline constexpr UINT IDS_BUTTON_YES = 40001;
inline constexpr UINT IDS_BUTTON_NO = 40002;

// Store and update failures.
inline constexpr UINT IDS_UPDATE_ALREADY_RUNNING = 40100;
inline constexpr UINT IDS_STORE_NOT_WRITTEN = 40101;
inline constexpr UINT IDS_STORE_NOT_OPENED = 40102;
inline constexpr UINT IDS_RETRY_LATER_UNTIL = 40105;
inline constexpr UINT IDS_RETRY_LATER = 40106;

// The subscription file: its repair and its writers.
inline constexpr UINT IDS_OPML_INCORRECT_FILE = 40120;    // "%s" is the file
inline constexpr UINT IDS_OPML_TOO_DEEP = 40121;          // the file, the depth limit
inline constexpr UINT IDS_OPML_REPAIRED = 40122;          // the kept copy, the feeds recovered, the folder
inline constexpr UINT IDS_OPML_MISSING_RECOVERED = 40123; // the feeds recovered, the folder
inline constexpr UINT IDS_RECOVERED_FEEDS = 40124;
inline constexpr UINT IDS_SUBSCRIPTIONS_BUSY = 40125;
inline constexpr UINT IDS_OPML_TOO_LARGE = 40126; // the address, the size limit in MB

// The new-items list's sort order as the options name it.
inline constexpr UINT IDS_SORT_ASCENDING = 40110;
inline constexpr UINT IDS_SORT_DESCENDING = 40111;

// Item lists and description pane (40300-40399).
inline constexpr UINT IDS_NEW_ITEMS_TITLE = 40300;
inline constexpr UINT IDS_LINK_NOT_OPENED = 40301; // "%s" is the link

// Sync with a server account (40400-40499).
inline constexpr UINT IDS_SYNC_NO_ACCOUNT = 40400;
inline constexpr UINT IDS_SYNC_NO_PASSWORD = 40401;
inline constexpr UINT IDS_SYNC_WRONG_PASSWORD = 40402;
inline constexpr UINT IDS_SYNC_API_DISABLED = 40403;
inline constexpr UINT IDS_SYNC_SESSION_REFUSED = 40404;
inline constexpr UINT IDS_SYNC_HTTP_STATUS = 40405;
inline constexpr UINT IDS_SYNC_CUT_SHORT = 40406;
inline constexpr UINT IDS_SYNC_BAD_ANSWER = 40407;
inline constexpr UINT IDS_SYNC_SERVER_ERROR = 40408;
inline constexpr UINT IDS_SYNC_TIMEOUT = 40409;
inline constexpr UINT IDS_SYNC_NETWORK = 40410;
inline constexpr UINT IDS_SYNC_CANCELLED = 40411;
inline constexpr UINT IDS_SYNC_STORE_ERROR = 40412;
inline constexpr UINT IDS_SUBSCRIBE_ALREADY = 40420;
inline constexpr UINT IDS_SUBSCRIBE_ADDED = 40421;
inline constexpr UINT IDS_SUBSCRIBE_INVALID_URL = 40422;
inline constexpr UINT IDS_SUBSCRIBE_NO_FEED = 40423;
inline constexpr UINT IDS_SUBSCRIBE_SEVERAL_FEEDS = 40424;
inline constexpr UINT IDS_SUBSCRIBE_DOWNLOAD_FAILED = 40425;
inline constexpr UINT IDS_UNSUBSCRIBE_FAILED = 40426;
inline constexpr UINT IDS_SUBSCRIBE_FAILED = 40427;
inline constexpr UINT IDS_PAGE_SYNC = 40430;
inline constexpr UINT IDS_SYNC_SERVER_LABEL = 40431;
inline constexpr UINT IDS_SYNC_USER_LABEL = 40432;
inline constexpr UINT IDS_SYNC_PASSWORD_LABEL = 40433;
inline constexpr UINT IDS_SYNC_TEST = 40434;
inline constexpr UINT IDS_SYNC_KEPT_IN_SERVICE = 40435;
inline constexpr UINT IDS_SYNC_KEPT_IN_FILE = 40436;
inline constexpr UINT IDS_SYNC_LOGIN_WORKS = 40437;
inline constexpr UINT IDS_SYNC_TESTING = 40438;
inline constexpr UINT IDS_SYNC_NO_ACCOUNT_HINT = 40439;
inline constexpr UINT IDS_SYNC_REMOVE = 40440;
inline constexpr UINT IDS_SYNC_REMOVED = 40441;
inline constexpr UINT IDS_SYNC_RUNNING = 40442;
inline constexpr UINT IDS_SYNC_WILL_KEEP_IN_SERVICE = 40443;
inline constexpr UINT IDS_SYNC_WILL_KEEP_IN_FILE = 40444;
inline constexpr UINT IDS_SYNC_PLACE_SERVICE = 40445;
inline constexpr UINT IDS_SYNC_PLACE_FILE = 40446;

inline constexpr UINT IDS_KEY_NEW = 40010;
inline constexpr UINT IDS_KEY_MENU = 40011;
inline constexpr UINT IDS_MENU_ENTER_URL = 40012;
inline constexpr UINT IDS_MENU_EDIT = 40013;
inline constexpr UINT IDS_MENU_MARK_READ = 40014;
inline constexpr UINT IDS_MENU_MARK_UNREAD = 40015;
inline constexpr UINT IDS_MENU_MOVE = 40016;
inline constexpr UINT IDS_MENU_DELETE = 40017;
inline constexpr UINT IDS_MENU_RENAME = 40018;
inline constexpr UINT IDS_MENU_OPML = 40019;
inline constexpr UINT IDS_MENU_IMPORT = 40020;
inline constexpr UINT IDS_MENU_EXPORT = 40021;
inline constexpr UINT IDS_MENU_UPDATE = 40022;
inline constexpr UINT IDS_MENU_UPDATE_ALL = 40023;
inline constexpr UINT IDS_MENU_ABOUT = 40024;
inline constexpr UINT IDS_MENU_EXIT = 40025;
inline constexpr UINT IDS_KEY_DONE = 40026;
inline constexpr UINT IDS_KEY_CANCEL = 40027;
inline constexpr UINT IDS_KEY_SAVE = 40028;
inline constexpr UINT IDS_KEY_SELECT = 40029;
inline constexpr UINT IDS_KEY_SEARCH = 40030;
inline constexpr UINT IDS_KEY_ADD = 40031;
inline constexpr UINT IDS_KEY_REFRESH = 40032;
inline constexpr UINT IDS_MENU_PREVIOUS_FEED = 40033;
inline constexpr UINT IDS_MENU_NEXT_FEED = 40034;
inline constexpr UINT IDS_MENU_DELETE_PAGE = 40035;
inline constexpr UINT IDS_MENU_FILTER = 40036;
inline constexpr UINT IDS_MENU_UNREAD_ONLY = 40037;
inline constexpr UINT IDS_MENU_READ_ONLY = 40038;
inline constexpr UINT IDS_MENU_TODAY = 40039;
inline constexpr UINT IDS_MENU_ALL = 40040;
inline constexpr UINT IDS_MENU_SORT_BY = 40041;
inline constexpr UINT IDS_MENU_TITLE = 40042;
inline constexpr UINT IDS_MENU_ASCENDING = 40043;
inline constexpr UINT IDS_MENU_DESCENDING = 40044;
inline constexpr UINT IDS_MENU_VIEW = 40045;
inline constexpr UINT IDS_MENU_HEADER = 40046;

inline constexpr UINT IDS_LABEL_ENTER_FEED_URL = 40060;
inline constexpr UINT IDS_CHECK_FETCH_NAME = 40061;
inline constexpr UINT IDS_CHECK_CREATE_AT_ROOT = 40062;
inline constexpr UINT IDS_LABEL_FOLDER_NAME = 40063;
inline constexpr UINT IDS_LABEL_NAME = 40064;
inline constexpr UINT IDS_COLUMN_SELECT_MENU = 40065;
inline constexpr UINT IDS_COLUMN_FILENAME = 40066;
inline constexpr UINT IDS_PAGE_GENERAL = 40067;
inline constexpr UINT IDS_PAGE_NEW_ITEMS = 40068;
inline constexpr UINT IDS_PAGE_PAGE = 40069;
inline constexpr UINT IDS_PICKER_OPEN = 40070;
inline constexpr UINT IDS_PICKER_SELECT_FILE = 40071;
inline constexpr UINT IDS_PICKER_SAVE_AS = 40072;
inline constexpr UINT IDS_PICKER_SELECT_FOLDER = 40073;

inline constexpr UINT IDS_CONFIRM_DELETE_FOLDER = 40080;
inline constexpr UINT IDS_CONFIRM_DELETE_FEED = 40081;
inline constexpr UINT IDS_EXPORT_CREATED = 40082;   // "%1" is the path
inline constexpr UINT IDS_EXPORT_FAILED = 40083;    // "%1" is the path
inline constexpr UINT IDS_UNTITLED_FOLDER = 40084;
inline constexpr UINT IDS_INVALID_DATETIME = 40085;
inline constexpr UINT IDS_INPUT_PATH_NULL = 40086;
inline constexpr UINT IDS_DDX_FAIL = 40087;
inline constexpr UINT IDS_DDX_ERROR = 40088;
inline constexpr UINT IDS_COMPANY_NAME = 40090;
inline constexpr UINT IDS_LEGAL_NOTICE = 40091;

// Finding a site's feed, searching the stored pages, desktop notices.
inline constexpr UINT IDS_CHOOSE_FEED = 40700;
inline constexpr UINT IDS_CHOOSE_FEED_LABEL = 40701;
inline constexpr UINT IDS_MENU_FIND = 40702;
inline constexpr UINT IDS_FIND_LABEL = 40703;
inline constexpr UINT IDS_FOUND_TITLE = 40704;  // %s the words
inline constexpr UINT IDS_FIND_FAILED = 40705;  // %s why
inline constexpr UINT IDS_NOTIFY_NEW_PAGES = 40706;
inline constexpr UINT IDS_NEW_PAGES_IN_FEEDS = 40707;    // %d pages, %d feeds
inline constexpr UINT IDS_NEW_PAGES_IN_ONE_FEED = 40708; // %d pages
inline constexpr UINT IDS_NEW_PAGE_IN_ONE_FEED = 40709;
inline constexpr UINT IDS_NOTICE_SHOW = 40710;

// ---- Message box styles (the core hands them to the views with its texts) -----
inline constexpr UINT MB_OK = 0x0000;
inline constexpr UINT MB_YESNO = 0x0004;
inline constexpr UINT MB_ICONHAND = 0x0010; // errors ("stop")
inline constexpr UINT MB_ICONQUESTION = 0x0020;
inline constexpr UINT MB_ICONEXCLAMATION = 0x0030;
inline constexpr UINT MB_ICONASTERISK = 0x0040; // information
inline constexpr UINT MB_SETFOREGROUND = 0x00010000;
inline constexpr UINT MB_TOPMOST = 0x00040000;

// ---- Commands and dialog results -------------------------------------------
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int ID_DONE = 32807;   // "Done", "Add", "Save", "Select" that end a dialog
inline constexpr int ID_CANCEL = 32804; // "Cancel"; the Back key ends a dialog with it too
inline constexpr int ID_CANCEL_UPDATE = ID_CANCEL;

// Main menu bar 128, context menu 223, move-mode bar 215.
inline constexpr int ID_NEW_ITEMS = 32796;
inline constexpr int ID_ENTER_URL = 32889;
inline constexpr int ID_ONLINE_SEARCH = 32890;
inline constexpr int ID_MARK_READ = 32788;
inline constexpr int ID_MARK_UNREAD = 32789;
inline constexpr int ID_MOVE = 32790;
inline constexpr int ID_DELETE = 32781;
inline constexpr int ID_RENAME = 32780;
inline constexpr int ID_NEW_FOLDER = 32776;
inline constexpr int ID_PROPERTIES = 32795;
inline constexpr int ID_IMPORT = 32791;
inline constexpr int ID_EXPORT = 32792;
inline constexpr int ID_IMPORT_FILE = 201; // the string ids of the import choices
inline constexpr int ID_IMPORT_URL = 202;
inline constexpr int ID_UPDATE = 32894;
inline constexpr int ID_UPDATE_ALL = 32895;
inline constexpr int ID_OPTIONS = 32873;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_MOVE_DONE = 32867;
inline constexpr int ID_MOVE_CANCEL = 32868;
inline constexpr int ID_INIT_CHANNEL = 0xE100; // posted by the frame to itself once it exists

// Item lists (menu bars 209, 216; context menus 224, 225).
inline constexpr int ID_UPDATE_FEED = 32810;
inline constexpr int ID_REFRESH = 32913;
inline constexpr int ID_PREVIOUS_FEED = 32856;
inline constexpr int ID_NEXT_FEED = 32855;
inline constexpr int ID_PAGE_MARK_READ = 32861;
inline constexpr int ID_PAGE_MARK_UNREAD = 32862;
inline constexpr int ID_DELETE_PAGE = 32904;
inline constexpr int ID_FILTER_UNREAD = 32845;
inline constexpr int ID_FILTER_READ = 32846;
inline constexpr int ID_FILTER_TODAY = 32847;
inline constexpr int ID_FILTER_ALL = 32849;
inline constexpr int ID_SORT_TITLE = 32851;
inline constexpr int ID_SORT_DATE = 32852;
inline constexpr int ID_SORT_ASCENDING = 32881;
inline constexpr int ID_SORT_DESCENDING = 32882;
inline constexpr int ID_VIEW_HEADER = 32886;
inline constexpr int ID_VIEW_DESCRIPTION = 32916;

// Online search and OPML address (menu bars 219, 222, 236).
inline constexpr int ID_SEARCH = 32879;
inline constexpr int ID_ADD = 32854;
inline constexpr int ID_SEARCH_PROPERTIES = 32907;
inline constexpr int ID_STOP = 32911;

// Find (main menu bar 128; the results' menu bar 250).
inline constexpr int ID_FIND = 32950;
inline constexpr int ID_FIND_AGAIN = 32951;

// ---- Menus -----------------------------------------------------------------
inline constexpr UINT IDR_MAIN_MENU = 128;     // "New" | "Menu" popup
inline constexpr UINT IDR_DONE_CANCEL = 208;   // update dialog, subscription choice
inline constexpr UINT IDR_EPISODE_LIST = 209;  // "Update" | "Menu"
inline constexpr UINT IDR_PICKER = 211;        // "Done" | "Cancel"
inline constexpr UINT IDR_PICKER_SAVE = 212;   // "Save" | "Cancel"
inline constexpr UINT IDR_DONE = 213;          // "Done" only (properties)
inline constexpr UINT IDR_MOVE = 215;          // move mode "Done" | "Cancel"
inline constexpr UINT IDR_NEW_ITEMS = 216;     // "Refresh" | "Menu"
inline constexpr UINT IDR_SEARCH_EDIT = 219;   // "Search" | "Menu"
inline constexpr UINT IDR_SEARCH_LIST = 222;   // "Add" | "Menu"
inline constexpr UINT IDR_TREE_CONTEXT = 223;
inline constexpr UINT IDR_EPISODE_CONTEXT = 224;
inline constexpr UINT IDR_NEW_ITEMS_CONTEXT = 225;
inline constexpr UINT IDR_PICKER_SELECT = 226; // "Select" | "Cancel"
inline constexpr UINT IDR_BUSY = 236;          // blank | "Cancel" (stops a search or download)
inline constexpr UINT IDR_FIND_RESULTS = 250;  // "Find" | "Menu"
inline constexpr UINT IDR_FIND_CONTEXT = 251;

// ---- Dialog templates ------------------------------------------------------
inline constexpr UINT IDD_ABOUT = 100;
inline constexpr UINT IDD_NEW_FOLDER = 206;
inline constexpr UINT IDD_ADD_FEED = 209;
inline constexpr UINT IDD_FILE_PICKER = 212;
inline constexpr UINT IDD_CHANNEL_TREE = 213;
inline constexpr UINT IDD_IMPORT_CHOICE = 215;
inline constexpr UINT IDD_SEARCH = 220; // online search and OPML address
inline constexpr UINT IDD_RENAME = 221;
inline constexpr UINT IDD_UPDATE = 222;
inline constexpr UINT IDD_OPTIONS_GENERAL = 224;
inline constexpr UINT IDD_SUBSCRIPTION_CHOICE = 225;
inline constexpr UINT IDD_OPTIONS_PAGE = 226;
inline constexpr UINT IDD_OPTIONS_NEW_ITEMS = 228;
inline constexpr UINT IDD_PROPERTIES = 229;
inline constexpr UINT IDD_OPTIONS_SYNC = 230; // the Sync page of the options (no number of old)
inline constexpr UINT IDD_EPISODE_LIST = 300; // both item lists share it; no public number
inline constexpr UINT IDD_FEED_CHOICE = 310;  // the feeds a web page announces
inline constexpr UINT IDD_FIND = 311;         // the words to find

// ---- Controls (ids repeat between templates) -------------------------------
inline constexpr int IDC_ABOUT_LOGO = 1001;
inline constexpr int IDC_URL_LABEL = 1002;
inline constexpr int IDC_URL_EDIT = 1000;
inline constexpr int IDC_FETCH_NAME = 1031;
inline constexpr int IDC_NAME_EDIT = 1004;
inline constexpr int IDC_CREATE_AT_ROOT = 1027;
inline constexpr int IDC_FOLDER_LABEL = 1013;
inline constexpr int IDC_FOLDER_EDIT = 1014;
inline constexpr int IDC_RENAME_LABEL = 1008;
inline constexpr int IDC_RENAME_EDIT = 1004;
inline constexpr int IDC_CHOICE_STATIC = 1042;
inline constexpr int IDC_CHOICE_LIST = 1031;
inline constexpr int IDC_SEARCH_LABEL = 1038;
inline constexpr int IDC_SEARCH_EDIT = 1037;
inline constexpr int IDC_SEARCH_LIST = 1055;
inline constexpr int IDC_PICKER_FOLDER = 1018;
inline constexpr int IDC_PICKER_LIST = 1019;
inline constexpr int IDC_PICKER_NAME = 1020;
inline constexpr int IDC_TREE = 1025;
inline constexpr int IDC_UPDATE_PROGRESS = 1041;
inline constexpr int IDC_UPDATE_STATUS = 1042;
inline constexpr int IDC_EPISODE_LIST = 1011;
inline constexpr int IDC_DESCRIPTION = 1111;
inline constexpr int IDC_PROPERTY_FIRST = 1000; // rows 1000, 1001, ... created at run time
inline constexpr int IDC_OPTION_LIST1 = 1061;
inline constexpr int IDC_OPTION_LIST2 = 1062;
inline constexpr int IDC_METHOD_LABEL = 1045;
inline constexpr int IDC_INTERVAL_LABEL = 1054;
inline constexpr int IDC_UPDATE_ON_STARTUP = 1048;
inline constexpr int IDC_UPDATE_ON_CONNECTED = 1046;
inline constexpr int IDC_NEW_ITEM_DAYS_LABEL = 1064;
inline constexpr int IDC_NEW_ITEM_COUNT_LABEL = 1063;
inline constexpr int IDC_EXPIRE_LABEL = 1058;
inline constexpr int IDC_MAX_PAGES_LABEL = 1059;
inline constexpr int IDC_NOTIFY_NEW_PAGES = 1080;
inline constexpr int IDC_FIND_LABEL = 1081;
inline constexpr int IDC_FIND_EDIT = 1082;
// The Sync page.
inline constexpr int IDC_SYNC_SERVER_LABEL = 1070;
inline constexpr int IDC_SYNC_SERVER = 1071;
inline constexpr int IDC_SYNC_USER_LABEL = 1072;
inline constexpr int IDC_SYNC_USER = 1073;
inline constexpr int IDC_SYNC_PASSWORD_LABEL = 1074;
inline constexpr int IDC_SYNC_PASSWORD = 1075;
inline constexpr int IDC_SYNC_TEST = 1076;
inline constexpr int IDC_SYNC_REMOVE = 1077;
inline constexpr int IDC_SYNC_STATUS = 1078;
inline constexpr int IDC_SYNC_PLACE = 1079;

// ---- Bitmaps ---------------------------------------------------------------
inline constexpr UINT IDB_PAGE_STATES = 201; // 4 cells of 22x22, magenta transparent
inline constexpr UINT IDB_TREE_ICONS = 202;  // 5 cells of 22x22, magenta transparent
inline constexpr UINT IDB_ABOUT_LOGO = 241;
