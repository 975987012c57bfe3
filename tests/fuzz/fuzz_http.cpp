// Arbitrary bytes as a server's whole answer to a feed request: a server in
// this process, on loopback, answers every request with the input and
// closes. Every request, to whatever host a redirect names, goes through it
// as the proxy, so nothing leaves the machine. The answer goes the way of an
// update's download, and a fetched document on to the parser. Besides
// crashes and leaks, a finding is a download whose result breaks its
// promises: a fetched document is in its file with the bytes reported, and
// every other end leaves no file behind.

#include <arpa/inet.h>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "FuzzSupport.h"
#include "content/FeedParser.h"
#include "platform/Unicode.h"
#include "update/FeedDownloads.h"

namespace {

class CAnsweringServer {
public:
    CAnsweringServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        fuzz::Require(m_listener >= 0 && ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                          ::listen(m_listener, 16) == 0 &&
                          ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) == 0,
                      "the loopback server listens");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    // The process ends with the fuzzer; the thread goes with it.
    ~CAnsweringServer() { m_thread.detach(); }

    int Port() const { return m_port; }
    void SetAnswer(std::string answer)
    {
        std::lock_guard lock(m_mutex);
        m_answer = std::move(answer);
    }

private:
    void Serve()
    {
        for (;;) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            ReadRequest(client);
            std::string answer;
            {
                std::lock_guard lock(m_mutex);
                answer = m_answer;
            }
            for (size_t sent = 0; sent < answer.size();) {
                const ssize_t wrote = ::send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (wrote <= 0)
                    break;
                sent += static_cast<size_t>(wrote);
            }
            ::shutdown(client, SHUT_WR);
            ::close(client);
        }
    }

    // Up to the blank line that ends the request's headers (a GET has no
    // body), or whatever arrives within a second.
    static void ReadRequest(int client)
    {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            pollfd ready{client, POLLIN, 0};
            if (::poll(&ready, 1, 1000) <= 0)
                return;
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            request.append(buffer, static_cast<size_t>(got));
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::string m_answer;
};

CAnsweringServer* g_pServer = nullptr;
std::wstring g_strDownloadBase;

bool FileExists(const std::wstring& path)
{
    struct stat info {};
    return ::stat(WideToUtf8(path).c_str(), &info) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Initialise("fuzz-http");
    fuzz::UsePrivateHome("fuzz-http");
    // The proxy is the server: no name is ever looked up.
    for (const char* name : {"no_proxy", "NO_PROXY", "http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY"})
        ::unsetenv(name);
    g_pServer = new CAnsweringServer();
    g_strDownloadBase = Utf8ToWide(std::string(std::getenv("HOME")) + "/downloads/temp.xml");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    g_pServer->SetAnswer(std::string(reinterpret_cast<const char*>(data), size));
    CFeedDownloadSettings settings;
    settings.pathBase = g_strDownloadBase;
    settings.userAgent = "fuzz";
    settings.proxy = "http://127.0.0.1:" + std::to_string(g_pServer->Port());
    settings.stepTimeoutMs = 5000;
    settings.totalMs = 10000;
    settings.sizeLimit = 1 << 20;
    CFeedToFetch feed;
    feed.url = L"http://feed.example/rss.xml";
    feed.validators.etag = L"\"stored\"";
    CFeedDownloads downloads;
    fuzz::Require(downloads.Start({feed}, settings), "the downloads start");
    const CFeedDownload result = downloads.Take(0);
    downloads.Stop();
    if (result.end == CDownloadEnd::Fetched) {
        struct stat info {};
        fuzz::Require(::stat(WideToUtf8(result.path).c_str(), &info) == 0, "a fetched document is in its file");
        fuzz::Require(static_cast<std::uint64_t>(info.st_size) == result.bytes, "the bytes reported are the file's");
        fuzz::Require(result.bytes <= settings.sizeLimit + 65536, "the size limit holds");
        ParseFeedFile(result.path, 50);
        ::unlink(WideToUtf8(result.path).c_str());
    } else {
        fuzz::Require(result.path.empty() || !FileExists(result.path), "a download that failed leaves no file");
    }
    return 0;
}
