#include "data/MailSecurity.h"

#include <QStringList>

namespace qm {

namespace {

const QString kPopSecurity = QStringLiteral("PopSecurity");
const QString kSmtpSecurity = QStringLiteral("SmtpSecurity");
const QString kPopCaFile = QStringLiteral("PopCaFile");
const QString kPopPin = QStringLiteral("PopPin");
const QString kSmtpCaFile = QStringLiteral("SmtpCaFile");
const QString kSmtpPin = QStringLiteral("SmtpPin");
const QString kSmtpPerConnection = QStringLiteral("SmtpPerConnection");
const QString kSmtpSizeLimit = QStringLiteral("SmtpSizeLimit");

const QString kPopRefusedPin = QStringLiteral("PopRefusedPin");
const QString kPopRefusedSubject = QStringLiteral("PopRefusedSubject");
const QString kSmtpRefusedPin = QStringLiteral("SmtpRefusedPin");
const QString kSmtpRefusedSubject = QStringLiteral("SmtpRefusedSubject");

constexpr int kMaxPerConnection = 1000;
constexpr qint64 kMaxSizeLimitKb = 1024 * 1024; // 1 GB

std::optional<ConnectionSecurity> securityFromName(const QString& name)
{
    for (const ConnectionSecurity s : {ConnectionSecurity::Automatic, ConnectionSecurity::Required,
                                       ConnectionSecurity::ImplicitTls, ConnectionSecurity::None}) {
        if (name.compare(connectionSecurityName(s), Qt::CaseInsensitive) == 0)
            return s;
    }
    return std::nullopt;
}

std::optional<qint64> boundedNumber(const QString& text, qint64 low, qint64 high)
{
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok);
    if (!ok || n < low || n > high)
        return std::nullopt;
    return n;
}

void setOrRemove(MailConnectionValues* values, const QString& key, const QString& value)
{
    if (value.isEmpty())
        values->remove(key);
    else
        values->insert(key, value);
}

} // namespace

QString connectionSecurityName(ConnectionSecurity security)
{
    switch (security) {
    case ConnectionSecurity::Automatic:
        return QStringLiteral("auto");
    case ConnectionSecurity::Required:
        return QStringLiteral("required");
    case ConnectionSecurity::ImplicitTls:
        return QStringLiteral("tls");
    case ConnectionSecurity::None:
        return QStringLiteral("none");
    }
    return {};
}

QString connectionSecurityLabel(ConnectionSecurity security)
{
    switch (security) {
    case ConnectionSecurity::Automatic:
        return QStringLiteral("自動 (サーバーが対応していればSTARTTLS)");
    case ConnectionSecurity::Required:
        return QStringLiteral("暗号化必須 (STARTTLS、995/465番ポートはTLS)");
    case ConnectionSecurity::ImplicitTls:
        return QStringLiteral("接続時からTLS (全ポート)");
    case ConnectionSecurity::None:
        return QStringLiteral("暗号化しない");
    }
    return {};
}

std::optional<QString> normalizedFingerprint(const QString& text)
{
    QString hex;
    for (const QChar c : text) {
        if (c == u':' || c == u' ')
            continue;
        if (!((c >= u'0' && c <= u'9') || (c.toUpper() >= u'A' && c.toUpper() <= u'F')))
            return std::nullopt;
        hex += c.toUpper();
    }
    if (hex.size() != 64)
        return std::nullopt;
    QStringList bytes;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        bytes << hex.mid(i, 2);
    return bytes.join(u':');
}

MailSecurity mailSecurityOf(const MailConnectionValues& values)
{
    MailSecurity s;
    s.pop = securityFromName(values.value(kPopSecurity)).value_or(ConnectionSecurity::Automatic);
    s.smtp = securityFromName(values.value(kSmtpSecurity)).value_or(ConnectionSecurity::Automatic);
    s.popTrust.caFile = values.value(kPopCaFile);
    s.smtpTrust.caFile = values.value(kSmtpCaFile);
    s.popTrust.pin = normalizedFingerprint(values.value(kPopPin)).value_or(QString());
    s.smtpTrust.pin = normalizedFingerprint(values.value(kSmtpPin)).value_or(QString());
    s.smtpPerConnection = int(boundedNumber(values.value(kSmtpPerConnection), 1, kMaxPerConnection)
                                  .value_or(kDefaultMessagesPerConnection));
    s.smtpSizeLimitKb = boundedNumber(values.value(kSmtpSizeLimit), 0, kMaxSizeLimitKb).value_or(0);
    s.popRefused = {values.value(kPopRefusedPin), values.value(kPopRefusedSubject)};
    s.smtpRefused = {values.value(kSmtpRefusedPin), values.value(kSmtpRefusedSubject)};
    return s;
}

void storeMailSecurity(const MailSecurity& s, MailConnectionValues* values)
{
    const auto name = [](ConnectionSecurity c) {
        return c == ConnectionSecurity::Automatic ? QString() : connectionSecurityName(c);
    };
    setOrRemove(values, kPopSecurity, name(s.pop));
    setOrRemove(values, kSmtpSecurity, name(s.smtp));
    setOrRemove(values, kPopCaFile, s.popTrust.caFile);
    setOrRemove(values, kSmtpCaFile, s.smtpTrust.caFile);
    setOrRemove(values, kPopPin, s.popTrust.pin);
    setOrRemove(values, kSmtpPin, s.smtpTrust.pin);
    setOrRemove(values, kSmtpPerConnection,
                s.smtpPerConnection == kDefaultMessagesPerConnection
                    ? QString()
                    : QString::number(s.smtpPerConnection));
    setOrRemove(values, kSmtpSizeLimit,
                s.smtpSizeLimitKb == 0 ? QString() : QString::number(s.smtpSizeLimitKb));
    setOrRemove(values, kPopRefusedPin, s.popRefused.fingerprint);
    setOrRemove(values, kPopRefusedSubject, s.popRefused.subject);
    setOrRemove(values, kSmtpRefusedPin, s.smtpRefused.fingerprint);
    setOrRemove(values, kSmtpRefusedSubject, s.smtpRefused.subject);
}

bool recordRefusedCertificate(const QString& accountNo, bool smtp, const SeenCertificate& seen,
                              QString* error)
{
    // A subject is the server's text: only what the file can hold is kept.
    QString subject = seen.subject;
    for (QChar& c : subject) {
        if (c == u',' || c == u'"' || c.unicode() < 0x20)
            c = u' ';
    }
    const MailConnectionValues changes{
        {smtp ? kSmtpRefusedPin : kPopRefusedPin, seen.fingerprint},
        {smtp ? kSmtpRefusedSubject : kPopRefusedSubject, subject.left(200)}};
    const MailConnectionValues now = readMailConnectionValues(accountNo);
    if (now.value(changes.firstKey()) == seen.fingerprint)
        return true;
    return updateMailConnectionValues(accountNo, changes, error);
}

MailConnectionValues newAccountMailSecurity()
{
    MailSecurity s;
    s.pop = ConnectionSecurity::Required;
    s.smtp = ConnectionSecurity::Required;
    MailConnectionValues values;
    storeMailSecurity(s, &values);
    return values;
}

bool isMailSecurityKey(const QString& key)
{
    return QStringList{kPopSecurity, kSmtpSecurity, kPopCaFile,         kPopPin,
                       kSmtpCaFile,  kSmtpPin,      kSmtpPerConnection, kSmtpSizeLimit}
        .contains(key);
}

std::optional<QString> checkMailSecurityValue(const QString& key, const QString& value,
                                              QString* error)
{
    const QString v = value.trimmed();
    const auto fail = [&](const QString& text) -> std::optional<QString> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    if (!isMailSecurityKey(key))
        return fail(QStringLiteral("設定名が正しくありません: %1").arg(key));
    if (v.isEmpty())
        return QString();
    if (key == kPopSecurity || key == kSmtpSecurity) {
        const auto s = securityFromName(v);
        if (!s)
            return fail(QStringLiteral("%1 は auto、required、tls、none のどれかです").arg(key));
        return *s == ConnectionSecurity::Automatic ? QString() : connectionSecurityName(*s);
    }
    if (key == kPopPin || key == kSmtpPin) {
        const auto pin = normalizedFingerprint(v);
        if (!pin)
            return fail(QStringLiteral("%1 はSHA-256の指紋 (16進数64桁) です").arg(key));
        return *pin;
    }
    if (key == kSmtpPerConnection) {
        const auto n = boundedNumber(v, 1, kMaxPerConnection);
        if (!n)
            return fail(QStringLiteral("%1 は1から%2の数です").arg(key).arg(kMaxPerConnection));
        return *n == kDefaultMessagesPerConnection ? QString() : QString::number(*n);
    }
    if (key == kSmtpSizeLimit) {
        const auto n = boundedNumber(v, 0, kMaxSizeLimitKb);
        if (!n)
            return fail(QStringLiteral("%1 はKB単位の数 (0は制限なし) です").arg(key));
        return *n == 0 ? QString() : QString::number(*n);
    }
    // A certificate file: a full path, so the service finds it whatever its folder.
    if (!v.startsWith(u'/'))
        return fail(QStringLiteral("%1 は証明書ファイルのフルパスです").arg(key));
    return v;
}

} // namespace qm
