#pragma once
// The sync tests' server: a real Tiny Tiny RSS instance on loopback, made
// by tests/support/ttrss/start-ttrss.sh. Under ctest one instance serves
// every sync test: the fixture test starts it into $RSSREADER_TTRSS_DIR and
// stops it after them, and the tests take turns on it. A test binary run on
// its own starts one on first use and stops it when it exits.
//
// Without the server's packages a test skips, saying why; with
// RSSREADER_REQUIRE_SYNC_SERVER=1 (CI) it fails instead.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "update/TtRssApi.h"

class CTtRssServer {
public:
    // The instance, or nullptr with the reason in why.
    static const CTtRssServer* Shared(std::string& why);
    // From the variables start-ttrss.sh wrote.
    explicit CTtRssServer(const std::map<std::string, std::string>& values);

    std::string url; // "http://127.0.0.1:PORT/"
    std::string user;
    std::string password;
    std::string dir;
    int phpPid = 0; // leads the web server's process group

    // SQL against its database; the output (-At form), nothing on failure.
    std::optional<std::string> Sql(const std::string& sql) const;
    // The user as a fresh instance has it: no feeds, categories or
    // articles, no session open, the API on, the password as started.
    bool Reset() const;
    // A conversation of the test's own with the server, to change what the
    // reader must then notice.
    std::unique_ptr<CTtRssApi> Api() const;
    // The web server stops answering (its processes stopped), and goes on.
    void Pause() const;
    void Resume() const;

private:
    std::string m_strPsql;
    std::string m_strPasswordHash; // as the first login left it: Reset puts it back
};

// In a test body: the server, or the test skips (fails under CI) saying why.
#define TTRSS_OR_SKIP(server)                                                                                   \
    do {                                                                                                        \
        std::string why_;                                                                                       \
        server = CTtRssServer::Shared(why_);                                                                    \
        if (server == nullptr) {                                                                                \
            if (CTtRssServerRequired())                                                                         \
                FAIL() << why_;                                                                                 \
            GTEST_SKIP() << why_;                                                                               \
        }                                                                                                       \
    } while (false)

bool CTtRssServerRequired();
