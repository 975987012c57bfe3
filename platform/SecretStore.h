#pragma once
// Where the password of the sync account is kept: the desktop's secret
// service (the freedesktop Secret Service over D-Bus, through libsecret)
// when a session bus is there to reach one, otherwise a file that only the
// user may read, "sync-password" in the reader's config folder
// ($XDG_CONFIG_HOME/RSSReader, mode 0600, replaced atomically).
//
// The window and rssreader-tool both go through here, so a password stored
// by one is found by the other. The caller remembers which place took the
// password (the account keeps it) and asks that place again; nothing here
// looks in both.
//
// Every call may block for a moment on D-Bus (the keyring may be asked to
// unlock): call it from a worker, or from the tool's thread, never from the
// GUI thread while it must stay responsive.
#include <optional>
#include <string>

enum class CSecretPlace {
    SecretService, // the desktop's keyring
    PrivateFile,   // the config folder's file readable by the user alone
};

// The identity a password is stored under.
struct CSecretKey {
    std::wstring server; // the server's address as the account keeps it
    std::wstring user;
};

// Whether a session bus is there to ask for the secret service. Without
// DBUS_SESSION_BUS_ADDRESS nothing is asked of D-Bus (no bus is started).
bool IsSecretServiceReachable();

// Stores the password, in the secret service when it takes it, else in the
// private file. False, with the reason in words, when neither took it.
bool StoreSecret(const CSecretKey& key, const std::string& password, CSecretPlace& place, std::wstring& error);
// The password stored in that place; nothing when none is there or the
// place cannot be asked.
std::optional<std::string> LookupSecret(const CSecretKey& key, CSecretPlace place);
// Forgets the password; true when none is left there.
bool RemoveSecret(const CSecretKey& key, CSecretPlace place);

// The private file's path.
std::wstring PrivateSecretFilePath();
// "secret service" or "file": how the place is written down and shown.
const wchar_t* SecretPlaceName(CSecretPlace place);
std::optional<CSecretPlace> SecretPlaceFromName(const std::wstring& name);
