// The side tables of the feed volume, for what servers said: each feed's
// validators (ETag and Last-Modified of its last stored document), keyed by
// url, and the time until which a host asked to be left alone, keyed by host.
#include "store/FeedDatabase.h"

#include <algorithm>

namespace {

enum ValidatorProperty : WORD {
    kValidatorUrl = 0,
    kValidatorFeedId = 1,
    kValidatorEtag = 2,
    kValidatorLastModified = 3,
    kValidatorPropertyCount
};

enum HostWaitProperty : WORD { kHostWaitHost = 0, kHostWaitNotBefore = 1, kHostWaitPropertyCount };

// Both tables: one string key, property 0, in the one sort order.
CEDBASEINFOEX SideTableDefinition(const wchar_t* name)
{
    CEDBASEINFOEX info;
    info.szDbaseName = name;
    info.wNumSortOrder = 1;
    info.rgSortSpecs[0] = MakeSortOrder({{PROP_TAG(CEVT_LPWSTR, 0), 0}});
    return info;
}

// A handle of a side table for one call: the tables are touched a few times
// a feed, and a handle of their own keeps the feed database's walk position
// where its users left it.
class CSideTableHandle {
public:
    CSideTableHandle(const CEGUID& volume, const wchar_t* name)
    {
        const CEDBASEINFOEX info = SideTableDefinition(name);
        CEOID oid = 0;
        m_hDB = CeOpenDatabaseEx2(&volume, &oid, info.szDbaseName, &info.rgSortSpecs[0], 0);
        if (!m_hDB && GetLastError() == ERROR_FILE_NOT_FOUND &&
            (CeCreateDatabaseEx2(&volume, info) || GetLastError() == ERROR_ALREADY_EXISTS))
            m_hDB = CeOpenDatabaseEx2(&volume, &oid, info.szDbaseName, &info.rgSortSpecs[0], 0);
    }
    ~CSideTableHandle()
    {
        if (m_hDB)
            CloseHandle(m_hDB);
    }
    CSideTableHandle(const CSideTableHandle&) = delete;
    CSideTableHandle& operator=(const CSideTableHandle&) = delete;

    HCEDB Get() const { return m_hDB; }
    CEOID Find(const std::wstring& key) const
    {
        const CEPROPVAL prop = MakeStringProp(0, key);
        return m_hDB ? CeSeekDatabaseEx(m_hDB, CEDB_SEEK_VALUEFIRSTEQUAL, &prop, 1) : 0;
    }

private:
    HCEDB m_hDB = nullptr;
};

// A validator becomes a request header: one with a line break or another
// control character in it is not kept.
bool Sendable(const std::wstring& value)
{
    return std::none_of(value.begin(), value.end(), [](wchar_t ch) { return ch < 0x20 || ch == 0x7F; });
}

} // namespace

bool CZelviaRssDB::ReadValidators(const std::wstring& url, std::uint32_t feedId, CFeedValidators& validators)
{
    validators = {};
    if (url.empty() || !IsOpen())
        return false;
    CSideTableHandle handle(m_guidVolume, kFeedValidatorDatabaseName);
    std::vector<CEPROPVAL> props;
    if (!handle.Find(url) || !CeReadRecordPropsEx(handle.Get(), props) || props.size() < kValidatorPropertyCount ||
        props[kValidatorFeedId].val.ulVal != feedId)
        return false;
    validators.etag = std::move(props[kValidatorEtag].val.lpwstr);
    validators.lastModified = std::move(props[kValidatorLastModified].val.lpwstr);
    if (!Sendable(validators.etag) || !Sendable(validators.lastModified))
        validators = {};
    return !validators.Empty();
}

bool CZelviaRssDB::WriteValidators(const std::wstring& url, std::uint32_t feedId, const CFeedValidators& validators)
{
    if (url.empty() || !IsOpen())
        return false;
    CWriteGroup group(*this);
    CSideTableHandle handle(m_guidVolume, kFeedValidatorDatabaseName);
    if (!handle.Get())
        return false;
    const CEOID oid = handle.Find(url);
    if (validators.Empty() || !Sendable(validators.etag) || !Sendable(validators.lastModified))
        return (oid == 0 || CeDeleteRecord(handle.Get(), oid)) && group.Commit();
    const std::vector<CEPROPVAL> props = {MakeStringProp(kValidatorUrl, url), MakeUI4Prop(kValidatorFeedId, feedId),
                                          MakeStringProp(kValidatorEtag, validators.etag),
                                          MakeStringProp(kValidatorLastModified, validators.lastModified)};
    return CeWriteRecordProps(handle.Get(), oid, props) != 0 && group.Commit();
}

bool CZelviaRssDB::ReadHostNotBefore(const std::wstring& host, FILETIME& notBefore)
{
    notBefore = {};
    if (host.empty() || !IsOpen())
        return false;
    CSideTableHandle handle(m_guidVolume, kHostWaitDatabaseName);
    std::vector<CEPROPVAL> props;
    if (!handle.Find(host) || !CeReadRecordPropsEx(handle.Get(), props) || props.size() < kHostWaitPropertyCount)
        return false;
    notBefore = props[kHostWaitNotBefore].val.filetime;
    return notBefore.Ticks() != 0;
}

bool CZelviaRssDB::WriteHostNotBefore(const std::wstring& host, const FILETIME& notBefore)
{
    if (host.empty() || !IsOpen())
        return false;
    CWriteGroup group(*this);
    CSideTableHandle handle(m_guidVolume, kHostWaitDatabaseName);
    if (!handle.Get())
        return false;
    const CEOID oid = handle.Find(host);
    if (notBefore.Ticks() == 0)
        return (oid == 0 || CeDeleteRecord(handle.Get(), oid)) && group.Commit();
    const std::vector<CEPROPVAL> props = {MakeStringProp(kHostWaitHost, host),
                                          MakeFileTimeProp(kHostWaitNotBefore, notBefore)};
    return CeWriteRecordProps(handle.Get(), oid, props) != 0 && group.Commit();
}
