// Screens of the sync account: the options' Sync page with an account set
// up, and the reader's window with the account's folder as a sync leaves
// it (its categories, its feeds with their pages and unread counts). The
// store is filled here the way a sync fills it, without a server.
#include <QDir>
#include <QFile>
#include <QTabWidget>

#include "ScreenRegistry.h"
#include "app/MainFrame.h"
#include "app/MessageBridge.h"
#include "app/ReaderApp.h"
#include "platform/Registry.h"
#include "platform/SecretStore.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "store/SyncStore.h"
#include "update/FeedManager.h"
#include "update/Setting.h"
#include "update/SyncAccount.h"
#include "views/ChannelTreeView.h"
#include "views/ChannelTreeViewCtrl.h"
#include "views/OptionsSheet.h"

namespace {

constexpr wchar_t kDemoServer[] = L"https://news.example.org/tt-rss/";
constexpr wchar_t kDemoUser[] = L"robin";

// A fresh demo home with the account set up in it (its password in the
// private file, as where no keyring runs).
void UseAccountHome(const QString& name)
{
    CSetting::DestroyInstance();
    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    ResetDemoHome(name);
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    CSecretPlace place = CSecretPlace::PrivateFile;
    std::wstring error;
    StoreSecret({kDemoServer, kDemoUser}, "demo", place, error);
    CRegKey key;
    key.Create(HKEY_CURRENT_USER, std::wstring(kSettingsKey) + L"\\" + kSyncSubKey);
    CRegWriteBatch batch(key);
    batch.SetStringValue(L"Server", kDemoServer);
    batch.SetStringValue(L"User", kDemoUser);
    batch.SetStringValue(L"PasswordIn", SecretPlaceName(place));
    batch.Commit();
}

struct CDemoFeed {
    const wchar_t* category; // empty: uncategorised
    const wchar_t* title;
    int pages;
    int unread;
};

// The account's feeds and their pages, as the last sync stored them.
void StoreAccount()
{
    const std::vector<CDemoFeed> feeds = {{L"World", L"Harbour Town Gazette", 14, 5},
                                          {L"World", L"Northern Courier", 9, 0},
                                          {L"Tech", L"Kernel Notes", 11, 3},
                                          {L"Tech", L"Compiler Weekly", 6, 1},
                                          {L"", L"Photo of the Week", 4, 2}};
    const CSyncAccount account{kDemoServer, kDemoUser, CSecretPlace::PrivateFile};
    std::vector<CSyncTreeEntry> tree = {{CSyncTreeEntry::Category, 1, L"World", L"", 0},
                                        {CSyncTreeEntry::Category, 2, L"Tech", L"", 0}};
    CSyncStore store;
    std::uint32_t article = 1;
    std::uint32_t serverFeed = 1;
    for (const CDemoFeed& feed : feeds) {
        const std::wstring url = L"https://feeds.example.org/" + std::to_wstring(serverFeed) + L".xml";
        const std::uint32_t category = std::wstring(feed.category) == L"World" ? 1 : std::wstring(feed.category) == L"Tech" ? 2 : 0;
        tree.push_back({CSyncTreeEntry::Feed, serverFeed++, feed.title, url, category});
        FeedRecord record = MakeNewFeedRecord(url, feed.title, L"");
        CZelviaRssDB::Instance().CreateFeedIfMissing(record);
        for (int page = 0; page < feed.pages; ++page) {
            PageRecord stored;
            stored.feedId = record.feedId;
            stored.key = L"https://example.org/story/" + std::to_wstring(article);
            stored.link = stored.key;
            stored.title = L"Story " + std::to_wstring(article);
            stored.state = page < feed.unread ? PageStateUnread : PageStateRead;
            stored.date = CDateTime::FromParts(2026, 11, 1 + page % 28, 9, 0, 0);
            CZelviaRssItemDB::Instance().WritePage(stored);
            store.WriteArticle({article++, record.feedId, stored.key, stored.state == PageStateUnread});
        }
        record.updateStatus = kFeedStatusUpdated;
        CRssFeedManager::WriteFeedCounted(url, record);
    }
    store.WriteTree(tree);
    CSyncState state;
    state.account = account.Identity();
    state.lastArticleId = article - 1;
    state.lastSync = SyncNow();
    store.WriteState(state);
}

} // namespace

RSS_SCREEN(options-sync)
{
    UseAccountHome(QStringLiteral("demo-sync"));
    CMainFrame frame;
    frame.SetMenuBar(IDR_MAIN_MENU);
    frame.show();
    context.Settle();
    COptionsSheet sheet(&frame);
    QObject::connect(&sheet, &CFullScreenDialog::shown, &sheet, [&] { sheet.Tabs()->setCurrentIndex(3); });
    return context.RunModal(sheet);
}

RSS_SCREEN(account-folder)
{
    UseAccountHome(QStringLiteral("demo-account"));
    QDir().mkpath(QDir::tempPath() + QStringLiteral("/demo-account/data/RSSReader"));
    QFile opml(QDir::tempPath() + QStringLiteral("/demo-account/data/RSSReader/default.opml"));
    if (opml.open(QIODevice::WriteOnly))
        opml.write("<?xml version=\"1.0\"?><opml version=\"1.0\"><head/><body>"
                   "<outline title=\"Recipes\" type=\"rss\" xmlUrl=\"https://recipes.example.org/feed\"/>"
                   "</body></opml>");
    opml.close();
    StoreAccount();
    CMessageBridge bridge;
    CReaderApp app{CTreeDialogs{}};
    app.Create();
    app.Frame().show();
    while (!app.View().IsInitialised())
        context.Settle(20);
    CChannelTreeCtrl* tree = app.View().Tree();
    tree->expandAll();
    app.View().Model()->ForEachEntry([&](const QModelIndex& entry) {
        if (entry.data().toString().startsWith(QStringLiteral("Kernel Notes")))
            tree->setCurrentIndex(entry);
    });
    context.Settle(CChannelTreeView::kStartupKeyGraceMs + 50);
    QImage image = context.Grab(app.Frame());
    app.Shutdown();
    return image;
}
