#include "support/ProgramFolder.h"

#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace qm::test {

ProgramFolder::ProgramFolder()
{
    m_exe = m_dir.filePath(QStringLiteral("quillmarc"));
    EXPECT_TRUE(QFile::copy(QStringLiteral(QM_QUILLMARC), m_exe));
    setProgramDir(m_dir.path());
    ensureDataDir();
}

ProgramFolder::~ProgramFolder()
{
    setProgramDir(QString());
}

void ProgramFolder::writeSettings(int detailLog, int remoteSettingsAllowed)
{
    TimerSettings s;
    s.detailLog = qint16(detailLog);
    s.remoteSettingsAllowed = qint16(remoteSettingsAllowed);
    QString error;
    ASSERT_TRUE(writeTimerSettings(filePaths().settingsFile, s, &error)) << error.toStdString();
}

void ProgramFolder::writeAccountLines(const QStringList& lines)
{
    QString error;
    ASSERT_TRUE(writeTextLines(filePaths().accountFile, lines, &error)) << error.toStdString();
}

void ProgramFolder::writeAccounts(const QList<AccountRecord>& records)
{
    QStringList lines;
    for (const AccountRecord& r : records)
        lines << buildReplacedLine(r);
    writeAccountLines(lines);
}

std::optional<AccountRecord> ProgramFolder::storedAccount(const QString& accountNo) const
{
    const auto lines = readTextLines(filePaths().accountFile);
    for (const QString& line : lines.value_or(QStringList())) {
        const auto record = AccountRecord::fromLine(line);
        if (record && record->AccountNo == accountNo)
            return record;
    }
    return std::nullopt;
}

ProgramFolder::Run ProgramFolder::runOnce(int timeoutMs) const
{
    QProcess p;
    p.setProgram(m_exe);
    p.setArguments({QStringLiteral("--run-once")});
    p.start();
    Run run;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        run.stdErr = QStringLiteral("timed out");
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.stdErr = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

QList<LogRow> ProgramFolder::log() const
{
    return readLog().value_or(QList<LogRow>());
}

int ProgramFolder::logCount(const QString& account, const QString& second,
                            const QString& third) const
{
    int n = 0;
    for (const LogRow& r : log()) {
        if (r.account == account && r.sender == second &&
            (third.isEmpty() || r.destination == third))
            ++n;
    }
    return n;
}

QString ProgramFolder::logDump() const
{
    QString out;
    for (const LogRow& r : log())
        out += r.time + u' ' + r.account + u'|' + r.sender + u'|' + r.destination + u'\n';
    return out;
}

int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

QStringList spooledFaxNumbers(const ProgramFolder& program)
{
    const QDir spool(QDir(program.path()).filePath(QStringLiteral("Data/FaxSpool")));
    QStringList numbers;
    for (const QString& job : spool.entryList({QStringLiteral("*.job")}, QDir::Files)) {
        for (const QString& line : readTextLines(spool.filePath(job)).value_or(QStringList())) {
            if (line.startsWith(QStringLiteral("\"number\"")))
                numbers << splitSettingsLine(line).value(1);
        }
    }
    numbers.sort();
    return numbers;
}

AccountRecord testAccount(const MailServers& servers, const QString& accountNo, int user,
                          const QString& forwardTo)
{
    AccountRecord r = newAccountTemplate(accountNo);
    r.AccountName = QStringLiteral("試験") + accountNo;
    r.ForwardState = QStringLiteral("1");
    r.SourceAddress = userName(user) + QStringLiteral("@quillmarc.test");
    r.PopUserId = userName(user);
    r.PopPassword = userPassword(user);
    r.PopServer = servers.pop3Host;
    r.PopPort = QString::number(servers.pop3Port);
    r.SmtpServer = servers.smtpHost;
    r.SmtpPort = QString::number(servers.smtpPort);
    r.ForwardTo = forwardTo;
    r.ForwardAsSender = QStringLiteral("0");
    r.PhoneEditing = QStringLiteral("0");
    for (int c = AccountRecord::ColDropSpaces; c <= AccountRecord::ColDropSymbols; ++c)
        r.setColumn(c, QStringLiteral("0"));
    emptyMailbox(userName(user));
    clearReceivedMails(forwardTo);
    return r;
}

void deliver(int user, const QString& from, const QString& subject, const QString& body,
             const QList<ComposedAttachment>& attachments)
{
    ComposedMail m;
    m.from = from;
    m.to = {userName(user) + QStringLiteral("@quillmarc.test")};
    m.subject = subject;
    m.body = body;
    m.attachments = attachments;
    QString error;
    ASSERT_FALSE(deliverRaw(userName(user), composeMail(m), &error).isEmpty())
        << error.toStdString();
}

} // namespace qm::test
