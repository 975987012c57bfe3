#pragma once
// The working subscription file, default.opml: the lock its writers share,
// and loading it without losing subscriptions to a damaged or missing file.
//
// The window and rssreader-tool may run at once on one data folder. Every
// change of the file is made under the subscription lock, a file of its own
// beside it ("subscriptions.lock", apart from the update run's lock): the
// writer reads the file again when another process has written it, changes
// that tree, and saves before letting go, so no writer saves over a change
// it has not seen. Stored feeds are pruned against the tree only under the
// lock, and only against a tree that is the whole file.
//
// Repair. The feed database knows every stored feed's URL and title. A file
// that loads only through libxml2's recovery (cut short, overwritten from
// outside, nested beyond libxml2's depth limit) or loads nothing is kept as
// "default.opml.damaged" ("default.opml.damaged.N" only when its bytes differ
// from the copy kept last), and the tree is rebuilt from what loaded plus
// every stored feed missing from it, under its stored title, in the folder
// "Recovered feeds", and saved. A missing file is rebuilt the same way from
// a store that holds feeds: the seed never replaces subscriptions the store
// still knows. Pruning against such a tree removes nothing.
#include <memory>
#include <string>
#include <vector>

#include "platform/FileLock.h"
#include "platform/FileSystem.h"
#include "resources/ViewMessage.h"
#include "subscriptions/OpmlDoc.h"

inline constexpr wchar_t kSubscriptionLockFileName[] = L"subscriptions.lock";
// An edit holds the lock for one load and one save of the file: a second
// or two for a very large tree. Waiting longer means the holder is stuck.
inline constexpr int kSubscriptionLockTimeoutMs = 30000;

// The subscription lock of the data folder that holds the file at
// subscriptionPath, held for the object's life when it could be taken.
class CSubscriptionLock {
public:
    // Waits up to timeoutMs (0: takes it only when it is free).
    explicit CSubscriptionLock(const std::wstring& subscriptionPath, int timeoutMs = kSubscriptionLockTimeoutMs);
    bool IsHeld() const { return m_lock.IsLocked(); }

private:
    CFileLock m_lock;
};

struct CLoadedSubscriptions {
    std::unique_ptr<COpmlDoc> doc; // never null: empty when nothing loaded
    // The document holds every feed the file or the store knows: stored
    // feeds missing from it may be removed from the store.
    bool complete = true;
    // The file did not load whole; what it held is kept at keptAs (empty
    // when no copy could be made: then the file is left as it is).
    bool damaged = false;
    std::wstring keptAs;
    // Outlines lay below libxml2's depth limit; they and all after them
    // were lost to the load.
    bool tooDeep = false;
    // The stored feeds put into "Recovered feeds", and whether the rebuilt
    // tree was saved as the file.
    int recovered = 0;
    bool repaired = false;
    // The file as this load read it (or as the repair wrote it).
    CFileStamp stamp;
    // What the user is told, in order.
    std::vector<CViewMessage> messages;
};

// Loads the subscription file at path and repairs it as above. The caller
// holds the subscription lock.
CLoadedSubscriptions LoadSubscriptionFile(const std::wstring& path);

// Puts every stored feed the tree lacks, under its stored title, into the
// top-level folder "Recovered feeds" (made when missing); how many, or -1
// when the store could not be read.
int RecoverStoredFeeds(COpmlDoc& doc);

// What libxml2 had to drop or repair to read a file.
struct CXmlDamage {
    // A tag or attribute cut short, mismatched or stray, or a depth beyond
    // the limit. Faults a careless writer leaves (undeclared entities, a
    // bare "&", bad bytes in a text) keep the structure and do not count.
    bool damaged = false;
    // The parse stopped at libxml2's depth limit (xmlParserMaxDepth).
    bool tooDeep = false;
};
CXmlDamage CheckXmlStructure(const std::wstring& path);
