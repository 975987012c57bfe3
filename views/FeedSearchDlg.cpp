#include "views/FeedSearchDlg.h"

#include <QLineEdit>

#include "update/FeedSearch.h"
#include "views/ResText.h"

namespace {

constexpr int kKeywordLimit = 20;

} // namespace

CFeedSearchDlg::CFeedSearchDlg(QWidget* host) : CFeedCollectDlg(host, IDS_ONLINE_SEARCH, IDS_ENTER_KEYWORD)
{
    Edit()->setMaxLength(kKeywordLimit);
}

CFeedSearchDlg::~CFeedSearchDlg() = default;

CFeedCollection::CSearchStep CFeedSearchDlg::StartSearch(const QString& text)
{
    const std::wstring path = m_strKeywordFile.empty() ? GetKeywordFilePath() : m_strKeywordFile;
    CFeedCollection::CSearchStep ended = Collection().StartKeywordSearch(path, ToWide(text));
    if (!ended)
        WalkOnLater();
    return ended;
}

// One candidate a turn of the event loop: between candidates the window
// handles its input and messages, so Cancel and the loss of the network are
// seen during a long walk.
void CFeedSearchDlg::WalkOnLater()
{
    QMetaObject::invokeMethod(this, [this] { WalkOn(); }, Qt::QueuedConnection);
}

void CFeedSearchDlg::WalkOn()
{
    if (!Collection().IsWalking())
        return;
    if (const CFeedCollection::CSearchStep ended = Collection().WalkOn())
        FinishSearch(*ended);
    else
        WalkOnLater();
}
