#pragma once

#include "data/MailConnectionFile.h"

#include <QWidget>
#include <atomic>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;

namespace qm::manager {

// The account editor's sign-in page: which provider the mailbox is with, the user's own
// client registration, which side signs in with a token, and the button that signs in
// through the desktop's browser (authorization code with PKCE, loopback redirect). Reads
// and writes the editor's connection values; the editor's save stores them.
class SignInPanel : public QWidget
{
    Q_OBJECT
public:
    explicit SignInPanel(MailConnectionValues* values, QWidget* parent = nullptr);
    ~SignInPanel() override;

    // Shows the values (after the editor loaded them).
    void load();

private:
    void store();
    void signIn();
    void finished(const QString& refreshToken, const QString& error);
    void showStatus();
    void enableFields();

    MailConnectionValues* m_values;
    QComboBox* m_provider = nullptr;
    QLineEdit* m_tenant = nullptr;
    QLineEdit* m_issuer = nullptr;
    QLineEdit* m_clientId = nullptr;
    QLineEdit* m_clientSecret = nullptr;
    QComboBox* m_grant = nullptr;
    QComboBox* m_popAuth = nullptr;
    QComboBox* m_smtpAuth = nullptr;
    QPushButton* m_signIn = nullptr;
    QLabel* m_status = nullptr;
    bool m_loading = false;
    std::unique_ptr<QThread> m_worker;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};

} // namespace qm::manager
