#pragma once
// The OPML address dialog (template 220, "Address (OPML URL):"): the feeds
// of an OPML document at an address, to collect one by one (CFeedCollectDlg).
// "file://" followed by a path reads that local file, as OPML and nothing
// else ("File not found." when it is not there); an http or https address is
// downloaded (30 s, at most 32 MB) into a file of this dialog's own and read
// as OPML; any other scheme is refused as an unsupported URL before anything
// is read (CFeedCollection::StartAddressSearch).
#include "views/FeedCollectDlg.h"

class COpmlAddressDlg : public CFeedCollectDlg {
    Q_OBJECT
public:
    explicit COpmlAddressDlg(QWidget* host);
    ~COpmlAddressDlg() override;

    void SetSearchTimeout(DWORD milliseconds) { m_dwSearchTimeout = milliseconds; }

protected:
    CFeedCollection::CSearchStep StartSearch(const QString& text) override;

private:
    DWORD m_dwSearchTimeout = kFeedDownloadTimeoutMs;
};
