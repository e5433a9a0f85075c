#include "manager/SignInPanel.h"

#include "platform/oauth/OAuthClient.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

namespace qm::manager {

namespace {

constexpr int kBrowserSeconds = 300;

QComboBox* choices(const QList<std::pair<QString, QString>>& items)
{
    auto* box = new QComboBox;
    for (const auto& [text, value] : items)
        box->addItem(text, value);
    return box;
}

void select(QComboBox* box, const QString& value)
{
    const int i = box->findData(value);
    box->setCurrentIndex(i < 0 ? 0 : i);
}

void put(MailConnectionValues& values, const QString& key, const QString& value)
{
    if (value.isEmpty())
        values.remove(key);
    else
        values.insert(key, value);
}

} // namespace

SignInPanel::SignInPanel(MailConnectionValues* values, QWidget* parent)
    : QWidget(parent), m_values(values)
{
    setObjectName(QStringLiteral("frmSignIn"));
    m_provider = choices({{QStringLiteral("使わない (パスワード)"), QString()},
                          {QStringLiteral("Microsoft 365"), QStringLiteral("microsoft")},
                          {QStringLiteral("Google Workspace"), QStringLiteral("google")},
                          {QStringLiteral("その他 (発行者を指定)"), QStringLiteral("issuer")}});
    m_provider->setObjectName(QStringLiteral("cmbOAuthProvider"));
    m_tenant = new QLineEdit;
    m_tenant->setObjectName(QStringLiteral("txtOAuthTenant"));
    m_tenant->setPlaceholderText(
        QStringLiteral("テナント ID またはドメイン (空欄は organizations)"));
    m_issuer = new QLineEdit;
    m_issuer->setObjectName(QStringLiteral("txtOAuthIssuer"));
    m_issuer->setPlaceholderText(QStringLiteral("https://..."));
    m_clientId = new QLineEdit;
    m_clientId->setObjectName(QStringLiteral("txtOAuthClientId"));
    m_clientSecret = new QLineEdit;
    m_clientSecret->setObjectName(QStringLiteral("txtOAuthClientSecret"));
    m_clientSecret->setEchoMode(QLineEdit::Password);
    m_clientSecret->setPlaceholderText(QStringLiteral("公開クライアントでは空欄"));
    m_grant = choices({{QStringLiteral("利用者がサインイン"), QString()},
                       {QStringLiteral("アプリとして (クライアント資格情報)"),
                        QStringLiteral("client_credentials")}});
    m_grant->setObjectName(QStringLiteral("cmbOAuthGrant"));
    const QList<std::pair<QString, QString>> auth{
        {QStringLiteral("パスワード"), QString()},
        {QStringLiteral("トークン (XOAUTH2)"), QStringLiteral("xoauth2")},
        {QStringLiteral("トークン (OAUTHBEARER)"), QStringLiteral("oauthbearer")}};
    m_popAuth = choices(auth);
    m_popAuth->setObjectName(QStringLiteral("cmbPopAuth"));
    m_smtpAuth = choices(auth);
    m_smtpAuth->setObjectName(QStringLiteral("cmbSmtpAuth"));
    m_signIn = new QPushButton(QStringLiteral("サインイン..."));
    m_signIn->setObjectName(QStringLiteral("cmdSignIn"));
    m_signIn->setToolTip(QStringLiteral("ブラウザーを開いてプロバイダーにサインインします"));
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("lblSignInStatus"));
    m_status->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("プロバイダー"), m_provider);
    form->addRow(QStringLiteral("テナント"), m_tenant);
    form->addRow(QStringLiteral("発行者 (issuer)"), m_issuer);
    form->addRow(QStringLiteral("クライアント ID"), m_clientId);
    form->addRow(QStringLiteral("クライアントシークレット"), m_clientSecret);
    form->addRow(QStringLiteral("サインインの方法"), m_grant);
    form->addRow(QStringLiteral("受信 (POP3) の認証"), m_popAuth);
    form->addRow(QStringLiteral("送信 (SMTP) の認証"), m_smtpAuth);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_signIn, 0, Qt::AlignLeft);
    layout->addWidget(m_status);
    layout->addStretch();

    for (QComboBox* box : {m_provider, m_grant, m_popAuth, m_smtpAuth})
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            store();
            enableFields();
        });
    for (QLineEdit* edit : {m_tenant, m_issuer, m_clientId, m_clientSecret})
        connect(edit, &QLineEdit::textChanged, this, &SignInPanel::store);
    connect(m_signIn, &QPushButton::clicked, this, &SignInPanel::signIn);
    load();
}

SignInPanel::~SignInPanel()
{
    if (m_worker) {
        *m_cancel = true;
        m_worker->wait();
    }
}

void SignInPanel::load()
{
    m_loading = true;
    const MailConnectionValues& v = *m_values;
    select(m_provider, v.value(QStringLiteral("OAuthProvider")));
    m_tenant->setText(v.value(QStringLiteral("OAuthTenant")));
    m_issuer->setText(v.value(QStringLiteral("OAuthIssuer")));
    m_clientId->setText(v.value(QStringLiteral("OAuthClientId")));
    m_clientSecret->setText(v.value(QStringLiteral("OAuthClientSecret")));
    select(m_grant, v.value(QStringLiteral("OAuthGrant")));
    select(m_popAuth, v.value(QStringLiteral("PopAuth")));
    select(m_smtpAuth, v.value(QStringLiteral("SmtpAuth")));
    m_loading = false;
    enableFields();
    showStatus();
}

void SignInPanel::store()
{
    if (m_loading)
        return;
    MailConnectionValues& v = *m_values;
    const QString before = v.value(QStringLiteral("OAuthProvider")) + u'\n' +
                           v.value(QStringLiteral("OAuthTenant")) + u'\n' +
                           v.value(QStringLiteral("OAuthIssuer")) + u'\n' +
                           v.value(QStringLiteral("OAuthClientId"));
    put(v, QStringLiteral("OAuthProvider"), m_provider->currentData().toString());
    put(v, QStringLiteral("OAuthTenant"), m_tenant->text().trimmed());
    put(v, QStringLiteral("OAuthIssuer"), m_issuer->text().trimmed());
    put(v, QStringLiteral("OAuthClientId"), m_clientId->text().trimmed());
    put(v, QStringLiteral("OAuthClientSecret"), m_clientSecret->text().trimmed());
    put(v, QStringLiteral("OAuthGrant"), m_grant->currentData().toString());
    put(v, QStringLiteral("PopAuth"), m_popAuth->currentData().toString());
    put(v, QStringLiteral("SmtpAuth"), m_smtpAuth->currentData().toString());
    const QString after = v.value(QStringLiteral("OAuthProvider")) + u'\n' +
                          v.value(QStringLiteral("OAuthTenant")) + u'\n' +
                          v.value(QStringLiteral("OAuthIssuer")) + u'\n' +
                          v.value(QStringLiteral("OAuthClientId"));
    // A sign-in belongs to the provider and client it was made with.
    if (before != after)
        v.remove(QStringLiteral("OAuthRefreshToken"));
    showStatus();
}

void SignInPanel::enableFields()
{
    const QString provider = m_provider->currentData().toString();
    const bool on = !provider.isEmpty();
    m_tenant->setEnabled(provider == u"microsoft");
    m_issuer->setEnabled(provider == u"issuer");
    for (QWidget* w : std::initializer_list<QWidget*>{m_clientId, m_clientSecret, m_grant,
                                                      m_popAuth, m_smtpAuth})
        w->setEnabled(on);
    const bool person = m_grant->currentData().toString().isEmpty();
    m_signIn->setEnabled(on && person && !m_worker);
}

void SignInPanel::showStatus()
{
    const MailConnectionValues& v = *m_values;
    if (m_worker)
        m_status->setText(QStringLiteral("ブラウザーでサインインしてください..."));
    else if (v.value(QStringLiteral("OAuthProvider")).isEmpty())
        m_status->setText(QString());
    else if (v.value(QStringLiteral("OAuthGrant")) == u"client_credentials")
        m_status->setText(QStringLiteral("サービスがアプリとしてサインインします"));
    else if (v.value(QStringLiteral("OAuthRefreshToken")).isEmpty())
        m_status->setText(QStringLiteral("まだサインインしていません"));
    else
        m_status->setText(QStringLiteral("サインイン済み (「OK」で保存されます)"));
}

void SignInPanel::signIn()
{
    store();
    const oauth::Settings settings = oauth::Settings::fromValues(*m_values);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    auto cancel = m_cancel;
    // The network calls and the wait for the browser run beside the window, which stays
    // usable; nothing is locked meanwhile.
    m_worker.reset(QThread::create([this, settings, cancel] {
        QString error;
        QString refreshToken;
        if (const auto provider = oauth::resolveProvider(settings, &error)) {
            oauth::LoopbackListener listener;
            if (!listener.listening()) {
                error = QStringLiteral("サインインの受け口を開けません");
            } else {
                const oauth::CodeRequest request =
                    oauth::codeRequest(*provider, settings, listener.redirectUri());
                QMetaObject::invokeMethod(this, [url = request.url] {
                    QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
                });
                const QString code = listener.waitForCode(request.state, kBrowserSeconds, &error,
                                                          [cancel] { return bool(*cancel); });
                if (!code.isEmpty()) {
                    const oauth::TokenResult r =
                        oauth::exchangeCode(*provider, settings, request, code);
                    if (!r.tokens)
                        error = r.error;
                    else if (r.tokens->refreshToken.isEmpty())
                        error = QStringLiteral("更新用トークンが返されませんでした "
                                               "(offline_access の権限を確認してください)");
                    else
                        refreshToken = r.tokens->refreshToken;
                }
            }
        }
        if (!*cancel)
            QMetaObject::invokeMethod(
                this, [this, refreshToken, error] { finished(refreshToken, error); });
    }));
    m_worker->start();
    enableFields();
    showStatus();
}

void SignInPanel::finished(const QString& refreshToken, const QString& error)
{
    m_worker->wait();
    m_worker.reset();
    if (!refreshToken.isEmpty())
        m_values->insert(QStringLiteral("OAuthRefreshToken"), refreshToken);
    enableFields();
    showStatus();
    if (!error.isEmpty())
        m_status->setText(QStringLiteral("サインインできませんでした: ") + error);
}

} // namespace qm::manager
