#include "FormLogin.h"

#include "ProgramIcon.h"
#include "data/TimerSettings.h"
#include "widgets/LineEdits.h"
#include "widgets/MessageBox.h"
#include "widgets/WindowGeometry.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qm::ui {

using widgets::MessageBox;

bool VerifyPassword(const QString& settingsFile, const QString& entered)
{
    // A missing file reads as defaults, whose password is empty.
    const TimerSettings stored = readTimerSettings(settingsFile);
    return entered == stored.password;
}

FormLogin::FormLogin(const QString& settingsFile, bool* passwordAccepted, QWidget* parent)
    : QDialog(parent), m_settingsFile(settingsFile), m_passwordAccepted(passwordAccepted)
{
    setObjectName(QStringLiteral("formLogin"));
    setWindowTitle(QStringLiteral("パスワードチェック"));
    setWindowIcon(programIcon());

    lblLabels = new QLabel(QStringLiteral("パスワード(&P):"), this);
    lblLabels->setObjectName(QStringLiteral("lblLabels"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    widgets::echoAsStars(txtPassword);
    txtPassword->setMinimumWidth(220);
    lblLabels->setBuddy(txtPassword);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdOK, &QPushButton::clicked, this, &FormLogin::onOk);
    connect(cmdCancel, &QPushButton::clicked, this, &FormLogin::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblLabels, 0, 0);
    grid->addWidget(txtPassword, 1, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 2, 0);

    widgets::centreOnScreen(this);
}

void FormLogin::onOk()
{
    const bool right = VerifyPassword(m_settingsFile, txtPassword->text());
    *m_passwordAccepted = right;
    if (right) {
        accept();
        return;
    }
    MessageBox::ok(this, QStringLiteral("ログオン"),
                   QStringLiteral("パスワードが正しくありません。もう一度入力してください !"));
    txtPassword->setFocus();
    txtPassword->selectAll();
}

void FormLogin::reject()
{
    // Esc, Cancel and the window's close box all refuse.
    *m_passwordAccepted = false;
    QDialog::reject();
}

PasswordGate::PasswordGate(QString settingsFile, QWidget* parent)
    : m_settingsFile(std::move(settingsFile)), m_parent(parent)
{
}

PasswordGate::~PasswordGate()
{
    delete m_dialog;
}

bool PasswordGate::ask()
{
    // Only an entry made in this showing may open the door, never an earlier one.
    m_passwordAccepted = false;
    if (!m_dialog)
        m_dialog = new FormLogin(m_settingsFile, &m_passwordAccepted, m_parent);
    m_dialog->txtPassword->setFocus();
    const int result = m_dialog->exec();
    if (result == QDialog::Accepted && m_passwordAccepted) {
        m_dialog->deleteLater();
        m_dialog = nullptr;
        return true;
    }
    m_passwordAccepted = false;
    return false;
}

} // namespace qm::ui
