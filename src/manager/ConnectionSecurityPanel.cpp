#include "manager/ConnectionSecurityPanel.h"

#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace qm::manager {

namespace {

const ConnectionSecurity kChoices[] = {ConnectionSecurity::Required,
                                       ConnectionSecurity::ImplicitTls,
                                       ConnectionSecurity::Automatic, ConnectionSecurity::None};

} // namespace

ConnectionSecurityPanel::ConnectionSecurityPanel(MailConnectionValues* values, QWidget* parent)
    : QWidget(parent), m_values(values)
{
    setObjectName(QStringLiteral("frmConnection"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildSide(&m_pop, QStringLiteral("受信 (POP3)"), false));
    layout->addWidget(buildSide(&m_smtp, QStringLiteral("送信 (SMTP)"), true));
    auto* limits = new QFormLayout;
    m_perConnection = new QSpinBox;
    m_perConnection->setObjectName(QStringLiteral("spnSmtpPerConnection"));
    m_perConnection->setRange(1, 1000);
    m_perConnection->setToolTip(QStringLiteral(
        "この通数を送るごとに接続し直します (多く受け取ると後回しにするサーバー向け)"));
    m_sizeLimit = new QSpinBox;
    m_sizeLimit->setObjectName(QStringLiteral("spnSmtpSizeLimit"));
    m_sizeLimit->setRange(0, 1024 * 1024);
    m_sizeLimit->setSuffix(QStringLiteral(" KB"));
    m_sizeLimit->setSpecialValueText(QStringLiteral("制限なし"));
    m_sizeLimit->setToolTip(QStringLiteral(
        "これより大きい転送メールは添付ファイルを省き、本文にファイル名と大きさを書いて送ります"));
    limits->addRow(QStringLiteral("1接続で送る通数"), m_perConnection);
    limits->addRow(QStringLiteral("転送メールの上限"), m_sizeLimit);
    layout->addLayout(limits);
    layout->addStretch();
    connect(m_perConnection, &QSpinBox::valueChanged, this, [this] { store(); });
    connect(m_sizeLimit, &QSpinBox::valueChanged, this, [this] { store(); });
}

QWidget* ConnectionSecurityPanel::buildSide(Side* side, const QString& title, bool smtp)
{
    auto* box = new QGroupBox(title);
    auto* form = new QFormLayout(box);
    const QString prefix = smtp ? QStringLiteral("Smtp") : QStringLiteral("Pop");
    side->security = new QComboBox;
    side->security->setObjectName(QStringLiteral("cmb%1Security").arg(prefix));
    for (const ConnectionSecurity s : kChoices)
        side->security->addItem(connectionSecurityLabel(s), int(s));
    side->caFile = new QLineEdit;
    side->caFile->setObjectName(QStringLiteral("txt%1CaFile").arg(prefix));
    side->caFile->setPlaceholderText(
        QStringLiteral("/etc/ssl/private-ca.pem (空欄: システムの証明書)"));
    side->caFile->setToolTip(
        QStringLiteral("信頼するCAかサーバー自身の証明書 (PEM形式) のファイルのフルパス"));
    side->pin = new QLineEdit;
    side->pin->setObjectName(QStringLiteral("txt%1Pin").arg(prefix));
    side->pin->setPlaceholderText(QStringLiteral("AB:CD:... (SHA-256)"));
    side->pin->setToolTip(
        QStringLiteral("この指紋の証明書だけを、発行元や名前にかかわらず信頼します"));
    side->refused = new QLabel;
    side->refused->setWordWrap(true);
    side->refused->setTextInteractionFlags(Qt::TextSelectableByMouse);
    side->trust = new QPushButton(QStringLiteral("この証明書を信頼する..."));
    side->trust->setObjectName(QStringLiteral("cmd%1TrustRefused").arg(prefix));
    form->addRow(QStringLiteral("接続の暗号化"), side->security);
    form->addRow(QStringLiteral("信頼する証明書"), side->caFile);
    form->addRow(QStringLiteral("証明書の指紋"), side->pin);
    form->addRow(side->refused);
    form->addRow(side->trust);
    connect(side->security, &QComboBox::currentIndexChanged, this, [this] { store(); });
    connect(side->caFile, &QLineEdit::textChanged, this, [this] { store(); });
    connect(side->pin, &QLineEdit::textChanged, this, [this] { store(); });
    connect(side->trust, &QPushButton::clicked, this, [this, smtp] { trustRefused(smtp); });
    return box;
}

void ConnectionSecurityPanel::showRefused(const Side& side, const SeenCertificate& seen)
{
    const bool any = !seen.fingerprint.isEmpty();
    side.refused->setVisible(any);
    side.trust->setVisible(any);
    if (any)
        side.refused->setText(QStringLiteral("前回信頼されなかった証明書: %1\n発行先: %2")
                                  .arg(seen.fingerprint, seen.subject));
}

void ConnectionSecurityPanel::load()
{
    m_loading = true;
    const MailSecurity s = mailSecurityOf(*m_values);
    const auto fill = [this](Side& side, ConnectionSecurity security, const ServerTrust& trust,
                             const SeenCertificate& seen) {
        side.security->setCurrentIndex(side.security->findData(int(security)));
        side.caFile->setText(trust.caFile);
        side.pin->setText(trust.pin);
        showRefused(side, seen);
    };
    fill(m_pop, s.pop, s.popTrust, s.popRefused);
    fill(m_smtp, s.smtp, s.smtpTrust, s.smtpRefused);
    m_perConnection->setValue(s.smtpPerConnection);
    m_sizeLimit->setValue(int(s.smtpSizeLimitKb));
    m_loading = false;
}

void ConnectionSecurityPanel::store()
{
    if (m_loading)
        return;
    MailSecurity s = mailSecurityOf(*m_values);
    s.pop = ConnectionSecurity(m_pop.security->currentData().toInt());
    s.smtp = ConnectionSecurity(m_smtp.security->currentData().toInt());
    s.popTrust.caFile = m_pop.caFile->text().trimmed();
    s.smtpTrust.caFile = m_smtp.caFile->text().trimmed();
    // A fingerprint half typed is not stored; the box shows it until it is whole.
    s.popTrust.pin = normalizedFingerprint(m_pop.pin->text()).value_or(QString());
    s.smtpTrust.pin = normalizedFingerprint(m_smtp.pin->text()).value_or(QString());
    s.smtpPerConnection = m_perConnection->value();
    s.smtpSizeLimitKb = m_sizeLimit->value();
    storeMailSecurity(s, m_values);
}

void ConnectionSecurityPanel::trustRefused(bool smtp)
{
    MailSecurity s = mailSecurityOf(*m_values);
    SeenCertificate& seen = smtp ? s.smtpRefused : s.popRefused;
    const QString question =
        QStringLiteral("この証明書を信頼しますか?\n\n指紋 (SHA-256): %1\n発行先: %2\n\n"
                       "サーバーの管理者に確かめた指紋と同じときだけ信頼してください。")
            .arg(seen.fingerprint, seen.subject);
    if (widgets::MessageBox::show(this, QMessageBox::Question, QStringLiteral("証明書"), question,
                                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    (smtp ? m_smtp : m_pop).pin->setText(seen.fingerprint);
    (smtp ? s.smtpTrust : s.popTrust).pin = seen.fingerprint;
    seen = {};
    storeMailSecurity(s, m_values);
    load();
}

} // namespace qm::manager
