#include "views/SyncPage.h"

#include <QMetaObject>

#include "platform/SecretStore.h"
#include "platform/Unicode.h"
#include "views/ResText.h"

namespace {

QString Text(UINT id, const std::wstring& argument = L"") { return ResFormat(id, argument.c_str()); }

} // namespace

CSyncPage::CSyncPage(QWidget* parent) : COptionsPage(parent, IDD_OPTIONS_SYNC)
{
    for (int id : {IDC_SYNC_SERVER_LABEL, IDC_SYNC_USER_LABEL, IDC_SYNC_PASSWORD_LABEL}) {
        QWidget* label = m_controls.Control(id);
        QFont font = label->font();
        font.setWeight(QFont::Bold);
        label->setFont(font);
    }
    Password()->setEchoMode(QLineEdit::Password);
    Server()->setInputMethodHints(Qt::ImhUrlCharactersOnly);
    connect(TestButton(), &QPushButton::clicked, this, &CSyncPage::OnTest);
    connect(RemoveButton(), &QPushButton::clicked, this, &CSyncPage::OnRemove);
}

CSyncPage::~CSyncPage() { Stop(); }

void CSyncPage::Stop()
{
    if (m_pJob)
        m_pJob->Cancel();
    if (m_worker.joinable())
        m_worker.join();
}

void CSyncPage::Load()
{
    const std::optional<CSyncAccount> account = LoadSyncAccount();
    Server()->setText(account ? ToQString(account->server) : QString());
    User()->setText(account ? ToQString(account->user) : QString());
    Password()->clear();
    Status()->clear();
    RemoveButton()->setEnabled(account.has_value());
    ShowPlace(account);
}

void CSyncPage::ShowPlace(const std::optional<CSyncAccount>& account)
{
    if (!account) {
        Place()->setText(Text(IDS_SYNC_NO_ACCOUNT_HINT) + "\n" +
                         Text(IsSecretServiceReachable() ? IDS_SYNC_WILL_KEEP_IN_SERVICE : IDS_SYNC_WILL_KEEP_IN_FILE));
    } else if (account->passwordPlace == CSecretPlace::SecretService) {
        Place()->setText(Text(IDS_SYNC_KEPT_IN_SERVICE));
    } else {
        Place()->setText(Text(IDS_SYNC_KEPT_IN_FILE, PrivateSecretFilePath()));
    }
}

// The job runs on the worker and gives back what the GUI thread then does.
void CSyncPage::RunJob(std::function<std::function<void()>()> job)
{
    if (m_worker.joinable())
        return;
    TestButton()->setEnabled(false);
    RemoveButton()->setEnabled(false);
    m_worker = std::thread([this, job = std::move(job)] {
        std::function<void()> done = job();
        QMetaObject::invokeMethod(
            this,
            [this, done = std::move(done)] {
                if (m_worker.joinable())
                    m_worker.join();
                m_pJob.reset();
                TestButton()->setEnabled(true);
                done();
                emit JobEnded();
            },
            Qt::QueuedConnection);
    });
}

void CSyncPage::OnTest()
{
    if (IsBusy())
        return;
    Status()->setText(Text(IDS_SYNC_TESTING));
    m_pJob = std::make_shared<CAccountSetUpJob>();
    RunJob([job = m_pJob, server = ToWide(Server()->text()), user = ToWide(User()->text()),
            password = WideToUtf8(ToWide(Password()->text())), this]() -> std::function<void()> {
        const CAccountSetUp result = job->Run(server, user, password, kSyncStepTimeout);
        return [this, result] {
            if (result.account) {
                Password()->clear();
                Status()->setText(Text(IDS_SYNC_LOGIN_WORKS));
            } else if (result.error) {
                Status()->setText(ToQString(SyncFailureText(result.error)));
            } else {
                Status()->setText(ToQString(result.problem));
            }
            const std::optional<CSyncAccount> stored = LoadSyncAccount();
            RemoveButton()->setEnabled(stored.has_value());
            ShowPlace(stored);
        };
    });
}

void CSyncPage::OnRemove()
{
    if (IsBusy())
        return;
    RunJob([this]() -> std::function<void()> {
        const bool removed = RemoveSyncAccount();
        return [this, removed] {
            if (removed) {
                Server()->clear();
                User()->clear();
                Password()->clear();
                Status()->setText(Text(IDS_SYNC_REMOVED));
            }
            const std::optional<CSyncAccount> stored = LoadSyncAccount();
            RemoveButton()->setEnabled(stored.has_value());
            ShowPlace(stored);
        };
    });
}
