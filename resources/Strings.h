#pragma once
// The texts of the string table that the core shows, by their numbers.
// Texts keep their "\r\n" line breaks; the views turn them into lines.

inline constexpr wchar_t kStrAppTitle[] = L"RSS Reader";
inline constexpr wchar_t kStrUpdateFeedsTitle[] = L"Update Feeds";                   // 171
inline constexpr wchar_t kStrConnecting[] = L"Connecting...";                        // 172
inline constexpr wchar_t kStrConnectionSuccessful[] = L"Connection successful.";     // 173
inline constexpr wchar_t kStrConnectionFailed[] = L"Connection failed.";             // 174
inline constexpr wchar_t kStrFeedUpdating[] = L"%d/%d feed(s) updating...\r\nUpdating feed name:\r\n%s"; // 175
inline constexpr wchar_t kStrFeedsUpdated[] =
    L"%d/%d feed(s) updated.\r\nTotal update page: %d\r\npage(s) updated.\r\nSelect Done to continue."; // 176
inline constexpr wchar_t kStrUpdateStopped[] =
    L"%d/%d feed(s) updated.\r\nTotal update page: %d\r\nupdate stopped.\r\nSelect Done to continue."; // 177
inline constexpr wchar_t kStrDisconnected[] = L"The device is disconnected from the network."; // 227
inline constexpr wchar_t kStrUnableToConnect[] =
    L"Unable to connect. Check that your device is turned on and the settings are correct. If the service is "
    L"available, please try again."; // 234
inline constexpr wchar_t kStrUnsupportedUrl[] = L"Unsupported URL\r\n";
inline constexpr wchar_t kStrUpdateAlreadyRunning[] = L"An update is already running.";
inline constexpr wchar_t kStrStoreNotWritten[] = L"The feed database could not be written: %s.";
inline constexpr wchar_t kStrStoreNotOpened[] = L"The feed database could not be opened: %s.";

// Soft-key commands and dialog results.
inline constexpr int ID_DONE = 32807;
inline constexpr int ID_CANCEL_UPDATE = 32804;
inline constexpr int IDCANCEL = 2;
