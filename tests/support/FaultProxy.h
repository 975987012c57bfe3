#pragma once
// A proxy on 127.0.0.1 in front of the sync server, for the faults a real
// server shows only now and then: it passes each API request through, or
// spoils the answer to one op ("getHeadlines", "updateArticle", ...) with a
// 500, an answer cut off half way, or no answer at all (until Stop or until
// the fault is taken away). Requests are counted by op.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>


class CFaultProxy {
public:
    enum class Fault { None, Status500, CutShort, Stall };

    CFaultProxy() = default;
    ~CFaultProxy() { Stop(); }
    CFaultProxy(const CFaultProxy&) = delete;
    CFaultProxy& operator=(const CFaultProxy&) = delete;

    bool Start(int upstreamPort);
    void Stop();

    // The fault for one op; "" for every request.
    void SetFault(const std::string& op, Fault fault);
    void ClearFaults();
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_nPort) + "/"; }
    int Requests(const std::string& op) const;

private:
    void AcceptLoop();
    void Serve(int client);
    Fault FaultFor(const std::string& op) const;

    int m_nUpstreamPort = 0;
    int m_listenFd = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_connections;
    std::map<std::string, Fault> m_faults;
    std::map<std::string, int> m_requests;
};
