#include "platform/SecretStore.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <libsecret/secret.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"
#include "platform/Unicode.h"

namespace {

const SecretSchema* AccountSchema()
{
    static const SecretSchema schema = {"org.zelviareader.SyncAccount",
                                        SECRET_SCHEMA_NONE,
                                        {{"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &schema;
}

struct CErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
using CErrorPtr = std::unique_ptr<GError, CErrorDeleter>;

std::wstring ErrnoText(int code) { return Utf8ToWide(std::strerror(code)); }

bool StoreInService(const CSecretKey& key, const std::string& password, std::wstring& error)
{
    const std::string server = WideToUtf8(key.server);
    const std::string user = WideToUtf8(key.user);
    const std::string label = "RSS Reader sync: " + user + " at " + server;
    GError* raw = nullptr;
    const gboolean stored = secret_password_store_sync(AccountSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                       password.c_str(), nullptr, &raw, "server", server.c_str(),
                                                       "user", user.c_str(), nullptr);
    const CErrorPtr failure(raw);
    if (failure) {
        error = Utf8ToWide(failure->message);
        DebugLogF("SecretStore", "the secret service did not take the password: %s", failure->message);
    }
    return stored && !failure;
}

// Written whole into a file created 0600 beside the target, then renamed
// over it: the password is never readable by others, not even for a moment,
// and a crash leaves the old file or the new one.
bool StoreInFile(const std::string& password, std::wstring& error)
{
    const std::wstring path = PrivateSecretFilePath();
    if (!CreateFolderPath(SplitPath(path).folder)) {
        error = L"the config folder cannot be made";
        return false;
    }
    const std::wstring temporary = MakeTemporarySibling(path);
    const std::string native = NativePath(temporary);
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = ErrnoText(errno);
        return false;
    }
    const std::string line = password + "\n";
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t written = ::write(fd, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = ErrnoText(written < 0 ? errno : EIO);
            ::close(fd);
            ::unlink(native.c_str());
            return false;
        }
        done += static_cast<size_t>(written);
    }
    ::close(fd);
    if (!ReplaceFileAtomically(temporary, path)) {
        error = L"the password file cannot be written";
        return false;
    }
    return true;
}

} // namespace

bool IsSecretServiceReachable()
{
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return bus != nullptr && *bus != '\0';
}

std::wstring PrivateSecretFilePath()
{
    std::wstring config;
    SHGetSpecialFolderPath(CSIDL_APPDATA, config);
    return JoinPath(JoinPath(config, L"RSSReader"), L"sync-password");
}

bool StoreSecret(const CSecretKey& key, const std::string& password, CSecretPlace& place, std::wstring& error)
{
    std::wstring serviceError;
    if (IsSecretServiceReachable() && StoreInService(key, password, serviceError)) {
        place = CSecretPlace::SecretService;
        // A password left in the file by an earlier account would outlive
        // the one the keyring now holds.
        RemoveSecret(key, CSecretPlace::PrivateFile);
        return true;
    }
    place = CSecretPlace::PrivateFile;
    return StoreInFile(password, error);
}

std::optional<std::string> LookupSecret(const CSecretKey& key, CSecretPlace place)
{
    if (place == CSecretPlace::PrivateFile) {
        std::ifstream file(NativePath(PrivateSecretFilePath()), std::ios::binary);
        std::string line;
        if (!file || !std::getline(file, line))
            return std::nullopt;
        return line;
    }
    if (!IsSecretServiceReachable())
        return std::nullopt;
    const std::string server = WideToUtf8(key.server);
    const std::string user = WideToUtf8(key.user);
    GError* raw = nullptr;
    gchar* found = secret_password_lookup_sync(AccountSchema(), nullptr, &raw, "server", server.c_str(), "user",
                                               user.c_str(), nullptr);
    const CErrorPtr failure(raw);
    if (failure)
        DebugLogF("SecretStore", "the secret service did not answer: %s", failure->message);
    if (found == nullptr)
        return std::nullopt;
    std::string password(found);
    secret_password_free(found);
    return password;
}

bool RemoveSecret(const CSecretKey& key, CSecretPlace place)
{
    if (place == CSecretPlace::PrivateFile) {
        const std::string path = NativePath(PrivateSecretFilePath());
        return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    }
    if (!IsSecretServiceReachable())
        return false;
    const std::string server = WideToUtf8(key.server);
    const std::string user = WideToUtf8(key.user);
    GError* raw = nullptr;
    secret_password_clear_sync(AccountSchema(), nullptr, &raw, "server", server.c_str(), "user", user.c_str(),
                               nullptr);
    const CErrorPtr failure(raw);
    return !failure;
}

const wchar_t* SecretPlaceName(CSecretPlace place)
{
    return place == CSecretPlace::SecretService ? L"secret service" : L"file";
}

std::optional<CSecretPlace> SecretPlaceFromName(const std::wstring& name)
{
    if (name == L"secret service")
        return CSecretPlace::SecretService;
    if (name == L"file")
        return CSecretPlace::PrivateFile;
    return std::nullopt;
}
