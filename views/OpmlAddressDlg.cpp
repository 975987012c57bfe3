#include "views/OpmlAddressDlg.h"

#include <QLineEdit>

#include "views/ResText.h"

namespace {

constexpr int kAddressLimit = 2048;

} // namespace

COpmlAddressDlg::COpmlAddressDlg(QWidget* host)
    : CFeedCollectDlg(host, IDS_ENTER_OPML_URL, IDS_OPML_ADDRESS)
{
    // The template's 20 characters are the search keyword's; an address
    // needs room.
    Edit()->setMaxLength(kAddressLimit);
}

COpmlAddressDlg::~COpmlAddressDlg() = default;

CFeedCollection::CSearchStep COpmlAddressDlg::StartSearch(const QString& text)
{
    return Collection().StartAddressSearch(ToWide(text), m_dwSearchTimeout);
}
