// The side table of the feed volume: each feed's validators (ETag and
// Last-Modified of its last stored document), keyed by url.
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

CEDBASEINFOEX ValidatorDatabaseDefinition()
{
    CEDBASEINFOEX info;
    info.szDbaseName = kFeedValidatorDatabaseName;
    info.wNumSortOrder = 1;
    info.rgSortSpecs[0] = MakeSortOrder({{PROP_TAG(CEVT_LPWSTR, kValidatorUrl), 0}});
    return info;
}

// A handle of the validator database for one call: the table is touched a
// few times a feed, and a handle of its own keeps the feed database's walk
// position where its users left it.
class CValidatorHandle {
public:
    explicit CValidatorHandle(const CEGUID& volume)
    {
        const CEDBASEINFOEX info = ValidatorDatabaseDefinition();
        CEOID oid = 0;
        m_hDB = CeOpenDatabaseEx2(&volume, &oid, info.szDbaseName, &info.rgSortSpecs[0], 0);
        if (!m_hDB && GetLastError() == ERROR_FILE_NOT_FOUND &&
            (CeCreateDatabaseEx2(&volume, info) || GetLastError() == ERROR_ALREADY_EXISTS))
            m_hDB = CeOpenDatabaseEx2(&volume, &oid, info.szDbaseName, &info.rgSortSpecs[0], 0);
    }
    ~CValidatorHandle()
    {
        if (m_hDB)
            CloseHandle(m_hDB);
    }
    CValidatorHandle(const CValidatorHandle&) = delete;
    CValidatorHandle& operator=(const CValidatorHandle&) = delete;

    HCEDB Get() const { return m_hDB; }
    CEOID Find(const std::wstring& url) const
    {
        const CEPROPVAL key = MakeStringProp(kValidatorUrl, url);
        return m_hDB ? CeSeekDatabaseEx(m_hDB, CEDB_SEEK_VALUEFIRSTEQUAL, &key, 1) : 0;
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
    CValidatorHandle handle(m_guidVolume);
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
    CValidatorHandle handle(m_guidVolume);
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
