#include "subscriptions/SubscriptionFile.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_set>

#include "content/XmlReader.h"
#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "resources/ResourceModule.h"
#include "store/FeedDatabase.h"
#include "subscriptions/OpmlFile.h"

namespace {

bool IsCarelessWriterFault(const xmlError* error)
{
    if (error->level == XML_ERR_WARNING || error->domain == XML_FROM_NAMESPACE)
        return true;
    switch (error->code) {
    case XML_ERR_INVALID_HEX_CHARREF:
    case XML_ERR_INVALID_DEC_CHARREF:
    case XML_ERR_INVALID_CHARREF:
    case XML_ERR_INVALID_CHAR:
    case XML_ERR_ENTITYREF_NO_NAME:
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
    case XML_ERR_NAME_REQUIRED: // a bare "&"
    case XML_ERR_INVALID_ENCODING:
        return true;
    default:
        return false;
    }
}

// libxml2 reports its depth limit as an internal error, told apart only by
// its text ("Excessive depth in document: 256 use XML_PARSE_HUGE option").
bool IsDepthLimit(const xmlError* error)
{
    return error->code == XML_ERR_INTERNAL_ERROR && error->message != nullptr &&
           std::strstr(error->message, "depth") != nullptr;
}

void CollectDamage(void* damage, xmlErrorPtr error)
{
    if (error == nullptr || IsCarelessWriterFault(error))
        return;
    auto& found = *static_cast<CXmlDamage*>(damage);
    found.damaged = true;
    found.tooDeep = found.tooDeep || IsDepthLimit(error);
}

bool ReadBytes(const std::wstring& path, std::string& bytes)
{
    std::ifstream file(NativePath(path), std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// Keeps the file's bytes beside it: in the copy kept last when that holds
// the same bytes (a file that stays damaged is kept once, not at every
// start), else in "<file>.damaged" or the first free "<file>.damaged.N".
// Where they are kept; empty when no copy could be made.
std::wstring KeepDamagedCopy(const std::wstring& path)
{
    std::string bytes;
    if (!ReadBytes(path, bytes))
        return {};
    std::wstring last;
    std::wstring name = path + L".damaged";
    for (int n = 1; PathExists(name); ++n) {
        last = name;
        name = path + L".damaged." + std::to_wstring(n);
    }
    std::string kept;
    if (!last.empty() && ReadBytes(last, kept) && kept == bytes)
        return last;
    return WriteNewFile(name, bytes) ? name : std::wstring();
}

void CollectUrls(const COutlineList& outlines, std::unordered_set<std::wstring>& urls)
{
    for (const auto& outline : outlines) {
        if (!outline->xmlUrl.empty())
            urls.insert(outline->xmlUrl);
        CollectUrls(outline->children, urls);
    }
}

} // namespace

int RecoverStoredFeeds(COpmlDoc& doc)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    std::vector<FeedRecord> stored;
    if (!feeds.IsOpen() || !feeds.ReadAllFeeds(stored))
        return -1;
    std::unordered_set<std::wstring> inTree;
    CollectUrls(doc.outlines, inTree);
    const std::wstring folderName = LoadResString(IDS_RECOVERED_FEEDS);
    COutline* folder = nullptr;
    int recovered = 0;
    for (const FeedRecord& record : stored) {
        if (record.url.empty() || !inTree.insert(record.url).second)
            continue;
        if (folder == nullptr) {
            for (auto& outline : doc.outlines) {
                if (outline->kind == OutlineKindFolder && outline->title == folderName)
                    folder = outline.get();
            }
        }
        if (folder == nullptr) {
            auto made = std::make_unique<COutline>();
            made->title = folderName;
            made->kind = OutlineKindFolder;
            folder = made.get();
            doc.outlines.push_back(std::move(made));
        }
        auto feed = std::make_unique<COutline>();
        feed->title = record.title.empty() ? record.url : record.title;
        feed->description = record.description;
        feed->xmlUrl = record.url;
        feed->kind = OutlineKindFeed;
        folder->children.push_back(std::move(feed));
        ++recovered;
    }
    return recovered;
}

CSubscriptionLock::CSubscriptionLock(const std::wstring& subscriptionPath, int timeoutMs)
{
    const std::wstring lockPath = JoinPath(SplitPath(subscriptionPath).folder, kSubscriptionLockFileName);
    if (timeoutMs > 0)
        m_lock.Lock(lockPath, timeoutMs);
    else
        m_lock.TryLock(lockPath);
}

CXmlDamage CheckXmlStructure(const std::wstring& path)
{
    CXmlDamage damage;
    // Structured errors are per thread; nothing is printed while they go here.
    const xmlStructuredErrorFunc previous = xmlStructuredError;
    void* previousContext = xmlStructuredErrorContext;
    xmlSetStructuredErrorFunc(&damage, CollectDamage);
    const CXmlDocPtr doc(xmlReadFile(NativePath(path).c_str(), nullptr, XML_PARSE_RECOVER | XML_PARSE_NONET));
    xmlSetStructuredErrorFunc(previousContext, previous);
    if (doc == nullptr)
        damage.damaged = true;
    return damage;
}

CLoadedSubscriptions LoadSubscriptionFile(const std::wstring& path)
{
    CLoadedSubscriptions loaded;
    const bool missing = !PathExists(path);
    if (!missing) {
        loaded.stamp = GetFileStamp(path);
        bool clean = false;
        loaded.doc = LoadOpmlFile(path, &clean);
        // A file read without an error needs no second look; one with
        // errors may still be whole, only written carelessly.
        const CXmlDamage damage = clean ? CXmlDamage{} : CheckXmlStructure(path);
        if (loaded.doc && !damage.damaged)
            return loaded;
        loaded.damaged = true;
        loaded.tooDeep = damage.tooDeep;
        loaded.keptAs = KeepDamagedCopy(path);
    }
    if (!loaded.doc)
        loaded.doc = std::make_unique<COpmlDoc>();

    if (loaded.damaged && loaded.keptAs.empty()) {
        // What the file held must not be written over before it is kept:
        // the tree stays as it loaded, and nothing is pruned against it.
        loaded.complete = false;
        loaded.messages.push_back({IDS_OPML_INCORRECT, {}, MB_ICONHAND});
        DebugLogF("LoadSubscriptionFile", "%ls did not load cleanly and could not be kept", path.c_str());
        return loaded;
    }
    loaded.recovered = RecoverStoredFeeds(*loaded.doc);
    if (loaded.recovered < 0) {
        // The store cannot say what the file lacks.
        loaded.recovered = 0;
        loaded.complete = !loaded.damaged && !missing;
    } else if (loaded.damaged || loaded.recovered > 0) {
        // Saved at once, so that the next start finds a whole file, and the
        // stored feeds stay subscriptions whatever comes next.
        loaded.repaired = SaveOpmlFile(*loaded.doc, path);
        if (loaded.repaired)
            loaded.stamp = GetFileStamp(path);
    }
    const std::wstring folder = LoadResString(IDS_RECOVERED_FEEDS);
    const std::wstring count = std::to_wstring(loaded.recovered);
    if (loaded.damaged && loaded.repaired)
        loaded.messages.push_back({IDS_OPML_REPAIRED, {loaded.keptAs, count, folder}, MB_ICONHAND});
    else if (loaded.damaged)
        loaded.messages.push_back({IDS_OPML_INCORRECT_FILE, {loaded.keptAs}, MB_ICONHAND});
    else if (loaded.recovered > 0)
        loaded.messages.push_back({IDS_OPML_MISSING_RECOVERED, {count, folder}, MB_ICONASTERISK});
    if (loaded.tooDeep)
        loaded.messages.push_back({IDS_OPML_TOO_DEEP, {path, std::to_wstring(xmlParserMaxDepth)}, MB_ICONHAND});
    DebugLogF("LoadSubscriptionFile", "%ls: %s, %d stored feeds recovered, %s", path.c_str(),
              missing ? "missing" : loaded.damaged ? "damaged" : "whole", loaded.recovered,
              loaded.repaired ? "saved" : "not saved");
    return loaded;
}
