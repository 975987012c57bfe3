#pragma once
// The waits hosts asked for (Retry-After), as an update run keeps them: read
// from the store for the hosts of the run's feeds when it starts, and kept
// up to date feed by feed. An automatic run leaves a host that is still
// waited for alone; a run the user starts asks all the same. A host that
// answers ends its wait. Belongs to the run's worker.
#include <map>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "update/FeedDownloads.h"

class CHostWaits {
public:
    // The stored waits of the hosts of these feeds; for an automatic run,
    // the hosts (DownloadHostOf) still to be left alone now.
    std::vector<std::string> Read(const std::vector<std::wstring>& feedUrls, bool automatic);
    // After a feed's download: a host that asked for a wait has it stored,
    // one that answered otherwise has it dropped. For a feed that failed as
    // "retry later", until when (UTC) its host is waited for, when that is
    // known; 0 ticks otherwise.
    FILETIME Note(const std::wstring& feedUrl, const CFeedDownload& download);

private:
    std::map<std::string, FILETIME> m_stored; // by host
};

// The local time (kFileTimeFormat) of a time a host asked to be left alone
// until (UTC).
std::wstring FormatNotBefore(const FILETIME& utc);
