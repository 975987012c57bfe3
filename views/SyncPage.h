#pragma once
// The options' "Sync" page (template 230): the sync account's server
// address, user and password, "Test" and "Remove". Test logs in on a worker
// and, once the server took the password, stores the account (the password
// where the secret store keeps it); a refusal says why and stores nothing.
// Remove forgets the account; the tree drops its folder when the sheet
// closes. The page always says where the password is kept, or would be.
//
// The worker gets values and hands values back to the GUI thread; the page
// stops and joins it when it goes.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>
#include <thread>

#include "update/SyncAccount.h"
#include "views/OptionsSheet.h"

class CSyncPage : public COptionsPage {
    Q_OBJECT
public:
    explicit CSyncPage(QWidget* parent);
    ~CSyncPage() override;

    void Load() override;
    // Nothing: the account is stored by Test, once its server took it.
    void Store() override {}

    QLineEdit* Server() const { return m_controls.Get<QLineEdit>(IDC_SYNC_SERVER); }
    QLineEdit* User() const { return m_controls.Get<QLineEdit>(IDC_SYNC_USER); }
    QLineEdit* Password() const { return m_controls.Get<QLineEdit>(IDC_SYNC_PASSWORD); }
    QPushButton* TestButton() const { return m_controls.Get<QPushButton>(IDC_SYNC_TEST); }
    QPushButton* RemoveButton() const { return m_controls.Get<QPushButton>(IDC_SYNC_REMOVE); }
    QLabel* Status() const { return m_controls.Get<QLabel>(IDC_SYNC_STATUS); }
    QLabel* Place() const { return m_controls.Get<QLabel>(IDC_SYNC_PLACE); }
    bool IsBusy() const { return m_worker.joinable(); }

signals:
    // A worker's job ended (the status shows how).
    void JobEnded();

private:
    void OnTest();
    void OnRemove();
    void RunJob(std::function<std::function<void()>()> job);
    void ShowPlace(const std::optional<CSyncAccount>& account);
    void Stop();

    std::thread m_worker;
    std::shared_ptr<CAccountSetUpJob> m_pJob;
};
