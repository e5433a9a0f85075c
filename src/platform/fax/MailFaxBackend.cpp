#include "platform/fax/MailFaxBackend.h"

#include "data/Numbers.h"
#include "platform/render/FaxDocumentConverter.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace qm {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// "host" or "host:port" from FaxPath.txt.
mail::ServerAddress serverFrom(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon < 0)
        return mail::ServerAddress{text, mail::kSmtpDefaultPort};
    return mail::ServerAddress{text.left(colon),
                               readPort(text.mid(colon + 1).trimmed()).value_or(0)};
}

} // namespace

QString newMailFaxJobId()
{
    return QStringLiteral("QMFAX-%1-%2")
        .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddhhmmsszzz")))
        .arg(QRandomGenerator::system()->bounded(100000), 5, 10, QLatin1Char('0'));
}

MailFaxBackend::MailFaxBackend(FaxConfig config, FaxDocumentConverter& converter,
                               mail::MailLibrary* mail)
    : m_config(std::move(config)), m_converter(converter), m_mail(mail)
{
}

bool MailFaxBackend::isUsable(QString* why) const
{
    if (!m_mail) {
        if (why)
            *why = QStringLiteral("メール送信の手段がありません");
        return false;
    }
    return faxBackendInstalled(m_config, why);
}

FaxResult MailFaxBackend::send(const FaxJob& job)
{
    FaxResult result;
    const QString dial = faxJobDialString(job, &result.error);
    if (dial.isEmpty())
        return result;
    // A usable backend has an address template, so every dial string makes an address.
    if (!isUsable(&result.error))
        return result;
    const QString to = mailFaxAddress(m_config, dial);
    const QString from = m_config.mailFrom.isEmpty() ? job.accountAddress : m_config.mailFrom;
    if (!mail::isPlainAddress(mail::addressSpec(from))) {
        result.error = QStringLiteral("FAXメールの差出人がありません (mail-from)");
        return result;
    }

    QTemporaryDir temp;
    if (!temp.isValid()) {
        result.error = QStringLiteral("作業フォルダを作れません");
        return result;
    }
    const QString id = newMailFaxJobId();
    const QString pdf = QDir(temp.path()).filePath(id + QStringLiteral(".pdf"));
    if (!faxJobToPdf(m_converter, job, pdf, &result.error))
        return result;
    result.pages = pdfPageCount(pdf);

    mail::OutgoingMail mail;
    mail.from = from;
    mail.to = QStringList{to};
    mail.subject = QStringLiteral("FAX %1 [%2]").arg(dial, id);
    mail.body = QStringLiteral("FAX送信をお願いします。") + kCrLf + QStringLiteral("宛先: ") +
                dial + kCrLf + QStringLiteral("ページ数: ") + QString::number(result.pages) +
                kCrLf + QStringLiteral("ジョブ: ") + id + kCrLf;
    mail.attachments = QStringList{pdf};
    const mail::SmtpServer server = m_config.mailSmtp.isEmpty()
                                        ? job.accountSmtp
                                        : mail::SmtpServer{serverFrom(m_config.mailSmtp), {}};
    mail::SendResult sent;
    try {
        sent = m_mail->SendMail(server, mail);
    } catch (const std::exception& e) {
        sent.error = QString::fromUtf8(e.what());
    }
    if (!sent.accepted()) {
        result.error = QStringLiteral("FAXゲートウェイへ送れません: %1").arg(sent.error);
        return result;
    }
    result.ok = true;
    result.jobId = id;
    return result;
}

} // namespace qm
