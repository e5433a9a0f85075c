#include "FuzzEntries.h"

#include "data/AccountFile.h"
#include "data/AccountRecord.h"
#include "data/Encryption.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"
#include "platform/mail/JapaneseText.h"
#include "platform/mail/MailLibrary.h"
#include "service/EngineContext.h"
#include "service/RemoteSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

namespace qm::fuzz {

namespace {

QByteArray bytesOf(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

void writeWhole(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

// Replies and messages go nowhere: the parser is under test, not the servers.
class SilentMail : public mail::MailLibrary
{
public:
    mail::MailResult RcvMail(const mail::PopAccount&, const QString&) override
    {
        return mail::MailResult::message(QString());
    }
    QString DeleteMail(const mail::PopAccount&, const QString&) override { return QString(); }
    mail::ReadResult ReadMail(const QString&, const QString&) override
    {
        return {QStringLiteral("none"), {}};
    }
    mail::SendResult SendMail(const mail::SmtpServer&, const mail::OutgoingMail& mail) override
    {
        sent += mail.subject.size() + mail.body.size();
        return {};
    }
    qsizetype sent = 0;
};

class SilentScreen : public service::Screen
{
public:
    service::BoxAnswer messageBox(const QString&, const QString&, service::BoxIcon,
                                  service::BoxButtons) override
    {
        return service::BoxAnswer::Ok;
    }
    void showLog() override { takeLogRows(); }
    void processEvents() override {}
};

const QString kAccountNo = QStringLiteral("07");

} // namespace

QString scratchProgramDir()
{
    static std::unique_ptr<QTemporaryDir> dir = [] {
        auto d =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/qm-fuzz-XXXXXX"));
        setProgramDir(d->path());
        ensureDataDir();
        return d;
    }();
    return dir->path();
}

void readMail(const uint8_t* data, size_t size)
{
    const QString dir = scratchProgramDir();
    const QString file = dir + QStringLiteral("/message.eml");
    const QString attach = dir + QStringLiteral("/Attach");
    writeWhole(file, bytesOf(data, size));
    const mail::ReadResult r = mail::SystemMailLibrary().ReadMail(file, attach);
    // Every file the reader reports must be below the folder it was given.
    for (const mail::ReceivedAttachment& a : r.message.attachments) {
        if (!QDir::cleanPath(a.path).startsWith(attach + QLatin1Char('/')))
            std::abort();
    }
    QDir(attach).removeRecursively();
}

void readAccountFile(const uint8_t* data, size_t size)
{
    scratchProgramDir();
    writeWhole(filePaths().accountFile, bytesOf(data, size));
    QString error;
    const auto table = readAccountTable(&error);
    if (table) {
        for (const AccountRecord& r : table->records) {
            if (r.toFields().size() != AccountRecord::kColumnCount)
                std::abort();
            (void)listItems(r.FaxNumbers);
            (void)unstorableColumns(r);
            (void)buildReplacedLine(r);
        }
    }
    // The manager's hand-over copy goes through the same line reader.
    writeWhole(filePaths().handOverRecord, bytesOf(data, size));
    (void)readHandOverRecord(&error);
}

void readSettingsLine(const uint8_t* data, size_t size)
{
    scratchProgramDir();
    const QByteArray bytes = bytesOf(data, size);
    const QString text = decodeCp932(bytes, DecodeMode::Lenient).value_or(QString());
    for (const QString& line : splitLines(text)) {
        const QStringList fields = splitSettingsLine(line);
        if (const auto record = AccountRecord::fromLine(line)) {
            // What was read must be written back to the same fields.
            if (splitSettingsLine(buildReplacedLine(*record)) != fields)
                std::abort();
        }
    }
    writeWhole(filePaths().settingsFile, bytes);
    QString warning;
    (void)LoadTimerSettings(&warning);
}

void readLog(const uint8_t* data, size_t size)
{
    scratchProgramDir();
    QFile::remove(filePaths().logWriteCopy);
    writeWhole(filePaths().logFile, bytesOf(data, size));
    const QDateTime now(QDate(2026, 12, 7), QTime(10, 30));
    QString error;
    if (writeLogLine(QStringLiteral("口座"), QStringLiteral("送信"), QStringLiteral("x@example.jp"),
                     24, now, &error)) {
        const auto rows = takeLogRows(&error);
        // The line just written is always the first one shown.
        if (!rows || rows->isEmpty() || rows->first().account != QStringLiteral("口座"))
            std::abort();
    }
    // The same bytes as a journal a crash left behind: appended to, then folded in.
    writeWhole(logJournalPath(), bytesOf(data, size));
    (void)qm::readLog(&error);
    if (writeLogLine(QStringLiteral("後"), QString(), QString(), 24, now, &error)) {
        const auto rows = qm::readLog(&error);
        if (!rows || rows->isEmpty() || rows->first().account != QStringLiteral("後"))
            std::abort();
    }
}

void parseRemoteCommand(const uint8_t* data, size_t size)
{
    const QString dir = scratchProgramDir();
    static const char* const words[] = {"転送開始",   "転送終了", "転送停止",
                                        "ファックス", "メール",   "その他"};
    const QString subject = QString::fromUtf8(words[size ? data[0] % 6 : 0]);
    // The body as the mail reader hands it over: every line end is CR LF.
    const QString body =
        size ? mail::withCrLf(QString::fromUtf8(bytesOf(data + 1, size - 1))) : QString();

    AccountRecord record = newAccountTemplate(kAccountNo);
    record.AccountName = QStringLiteral("遠隔");
    record.RemoteAddress = QStringLiteral("boss@example.jp");
    record.PopServer = QStringLiteral("127.0.0.1");
    writeWhole(filePaths().accountFile,
               encodeLines({buildReplacedLine(record)}).value_or(QByteArray()));

    SilentMail mailLib;
    SilentScreen screen;
    service::EngineContext ctx;
    ctx.paths = filePaths();
    ctx.screen = &screen;
    ctx.mail = &mailLib;
    ctx.wait = [](int) {};
    ctx.account.accountNo = kAccountNo;
    ctx.account.accountName = record.AccountName;
    ctx.account.remoteAddress = record.RemoteAddress;
    (void)service::HandleRemoteMail(ctx, subject, body, kAccountNo, record.RemoteAddress);

    // Whatever the mail said, the account file still holds one whole record.
    const auto table = readAccountTable();
    if (!table || table->records.size() != 1 || table->nonRecordLines != 0)
        std::abort();
}

void decrypt(const uint8_t* data, size_t size)
{
    const QByteArray stored = bytesOf(data, size);
    (void)looksEncrypted(stored);
    QString error;
    if (const auto plain = decryptBytes(stored, &error)) {
        // Only a whole envelope decrypts; it must survive a round trip.
        const auto again = encryptBytes(*plain);
        if (!again || decryptBytes(*again) != *plain)
            std::abort();
    }
}

Entry entryFor(const QString& target)
{
    if (target == u"mail")
        return readMail;
    if (target == u"account_file")
        return readAccountFile;
    if (target == u"settings_line")
        return readSettingsLine;
    if (target == u"log")
        return readLog;
    if (target == u"remote_command")
        return parseRemoteCommand;
    if (target == u"decrypt")
        return decrypt;
    return nullptr;
}

const char* const* targetNames()
{
    static const char* const names[] = {"mail",           "account_file", "settings_line", "log",
                                        "remote_command", "decrypt",      nullptr};
    return names;
}

} // namespace qm::fuzz
