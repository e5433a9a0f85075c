#include "data/FaxJobRecord.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

// A job the program queued is followed by later runs until it ends: its outcome is one log
// line and one reply, however many runs come after, killed or not.

namespace {

QList<QueuedFaxJob> pendingJobs()
{
    return FaxJobRecord(filePaths().dataDir).pending();
}

// The fax lines of the log (the outcome lines), oldest first.
QStringList outcomeLines(const ProgramFolder& program)
{
    QStringList out;
    for (const LogRow& r : program.log()) {
        if (r.destination.contains(QStringLiteral("FAX送信完了")) ||
            r.destination.contains(QStringLiteral("FAX送信失敗")))
            out.prepend(r.sender + u'|' + r.destination);
    }
    return out;
}

QList<ParsedMail> mailsTo(const QString& address)
{
    QList<ParsedMail> out;
    for (const ReceivedMail& m : receivedMails(address))
        out << parseMail(m.raw);
    return out;
}

int pdfPages(const QByteArray& pdf)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("fax.pdf"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(pdf);
    f.close();
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    p.waitForFinished(30000);
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                       .match(QString::fromLatin1(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// A run killed outright while it works.
void killedRun(const ProgramFolder& program)
{
    QProcess p;
    p.start(program.exe(), {QStringLiteral("--run-once")});
    ASSERT_TRUE(p.waitForStarted());
    QThread::msleep(400);
    p.kill();
    p.waitForFinished();
}

} // namespace

TEST(FaxOutcome, HylafaxKillTimeEndsFailedOnceWithReply)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    const QString host = qEnvironmentVariable("QM_HYLAFAX_HOST");
    const QString spool = qEnvironmentVariable("QM_HYLAFAX_SPOOL");
    if (host.isEmpty())
        GTEST_SKIP() << "QM_HYLAFAX_HOST is not set (run through tests/servers/run.sh)";
    ProgramFolder program;
    program.writeSettings(1);
    // The shortest kill time sendfax takes: HylaFAX keeps the job a minute, then gives up.
    ASSERT_TRUE(writeTextLines(filePaths().faxPathFile,
                               {joinQuoted({QStringLiteral("backend"), QStringLiteral("hylafax")}),
                                joinQuoted({QStringLiteral("host"), host}),
                                joinQuoted({QStringLiteral("killtime"), QStringLiteral("2")}),
                                joinQuoted({QStringLiteral("dials"), QStringLiteral("3")})}));
    const QString to = QStringLiteral("outcome74@dest.test");
    program.writeAccounts({testAccount(servers, "01", 74, to)});
    const QString requester = QStringLiteral("yamada74@sender.test");
    clearReceivedMails(requester);
    deliver(74, QStringLiteral("山田 <yamada74@sender.test>"), QStringLiteral("03-1234-5678"),
            QStringLiteral("届いたか知りたい。\n"));

    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    const QList<QueuedFaxJob> queued = pendingJobs();
    ASSERT_EQ(queued.size(), 1) << program.logDump().toStdString();
    EXPECT_EQ(queued[0].backend, QStringLiteral("hylafax"));
    EXPECT_EQ(queued[0].number, QStringLiteral("0312345678"));
    EXPECT_EQ(queued[0].request, FaxJobRequest::Mail);

    // Killed while the job is still queued: the record holds it all the same.
    killedRun(program);
    EXPECT_TRUE(outcomeLines(program).isEmpty()) << program.logDump().toStdString();
    EXPECT_EQ(pendingJobs().size(), 1);

    const QString done = QDir(spool).filePath(QStringLiteral("doneq/q") + queued[0].jobId);
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(done) && waited.elapsed() < 150000)
        QThread::msleep(500);
    ASSERT_TRUE(QFileInfo::exists(done)) << "HylaFAX did not end the job";

    for (int run = 0; run < 2; ++run)
        ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    const QStringList lines = outcomeLines(program);
    ASSERT_EQ(lines.size(), 1) << program.logDump().toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("yamada74@sender.test|0312345678 "
                                                   "FAX送信失敗 (送信期限切れ: Kill time expired")))
        << lines[0].toStdString();
    EXPECT_TRUE(pendingJobs().isEmpty()) << "an ended job is asked no more";
    const QList<ParsedMail> replies = mailsTo(requester);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].subject, QStringLiteral("<FAX送信失敗>"));
    EXPECT_TRUE(replies[0].body.contains(QStringLiteral("送信先: 0312345678")))
        << replies[0].body.toStdString();
    EXPECT_TRUE(replies[0].body.contains(QStringLiteral("理由: 送信期限切れ")));
    EXPECT_TRUE(receivedMails(to).isEmpty());
}

TEST(FaxOutcome, SpoolDoneAndFailedEachReportedOnce)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1);
    ASSERT_TRUE(
        writeTextLines(filePaths().faxPathFile,
                       {joinQuoted({QStringLiteral("reply-account"), QStringLiteral("1")})}));
    const QString to = QStringLiteral("outcome75@dest.test");
    const QString boss = QStringLiteral("boss75@remote.test");
    AccountRecord account = testAccount(servers, "01", 75, to);
    account.FaxNumbers = QStringLiteral("03-5555-0000");
    account.RemoteAddress = boss;
    program.writeAccounts({account});
    const QString requester = QStringLiteral("sato75@sender.test");
    clearReceivedMails(requester);
    clearReceivedMails(boss);
    deliver(75, requester, QStringLiteral("03-1111-0001"), QStringLiteral("一通目\n"));
    deliver(75, requester, QStringLiteral("03-1111-0002"), QStringLiteral("二通目\n"));
    deliver(75, QStringLiteral("client@sender.test"), QStringLiteral("ご案内"),
            QStringLiteral("転送されてFAXにもなるメール\n"));

    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    const QList<QueuedFaxJob> queued = pendingJobs();
    ASSERT_EQ(queued.size(), 3) << program.logDump().toStdString();
    // What whoever sends the spool leaves beside each job.
    const QDir spoolDir(QDir(filePaths().dataDir).filePath(QStringLiteral("FaxSpool")));
    for (const QueuedFaxJob& job : queued) {
        ASSERT_TRUE(QFileInfo::exists(spoolDir.filePath(job.jobId + QStringLiteral(".job"))));
        if (job.number == u"0311110002")
            ASSERT_TRUE(
                writeTextLines(spoolDir.filePath(job.jobId + QStringLiteral(".failed")),
                               {joinQuoted({QStringLiteral("reason"), QStringLiteral("話中")}),
                                joinQuoted({QStringLiteral("tries"), QStringLiteral("3")})}));
        else
            ASSERT_TRUE(writeTextLines(spoolDir.filePath(job.jobId + QStringLiteral(".done")), {}));
    }

    for (int run = 0; run < 2; ++run)
        ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    QStringList lines = outcomeLines(program);
    lines.sort();
    EXPECT_EQ(lines,
              QStringList({QStringLiteral("sato75@sender.test|0311110001 FAX送信完了 (1枚)"),
                           QStringLiteral("sato75@sender.test|0311110002 FAX送信失敗 (話中、3回)"),
                           QStringLiteral("u75@quillmarc.test|03-5555-0000 FAX送信完了 (1枚)")}))
        << program.logDump().toStdString();
    EXPECT_TRUE(pendingJobs().isEmpty());
    QStringList subjects;
    for (const ParsedMail& m : mailsTo(requester))
        subjects << m.subject + u' ' + m.body.section(QStringLiteral("送信先: "), 1).left(10);
    subjects.sort();
    QStringList expected = {QStringLiteral("<FAX送信完了> 0311110001"),
                            QStringLiteral("<FAX送信失敗> 0311110002")};
    expected.sort();
    EXPECT_EQ(subjects, expected);
    const QList<ParsedMail> bossMails = mailsTo(boss);
    ASSERT_EQ(bossMails.size(), 1) << "the account's own fax is told to its remote address";
    EXPECT_EQ(bossMails[0].subject, QStringLiteral("<FAX送信完了>"));
}

TEST(FaxOutcome, MailGatewayGetsOnePdfPerJobAndItsNoticeCompletesIt)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1);
    ASSERT_TRUE(writeTextLines(
        filePaths().faxPathFile,
        {joinQuoted({QStringLiteral("backend"), QStringLiteral("mail")}),
         joinQuoted({QStringLiteral("mail-to"), QStringLiteral("{number}@fax-gw76.test")}),
         joinQuoted({QStringLiteral("mail-smtp"),
                     servers.smtpHost + u':' + QString::number(servers.smtpPort)})}));
    const QString to = QStringLiteral("outcome76@dest.test");
    program.writeAccounts({testAccount(servers, "01", 76, to)});
    const QString requester = QStringLiteral("kato76@sender.test");
    const QString gateway = QStringLiteral("0312340000@fax-gw76.test");
    const QString refused = QStringLiteral("0570123456@fax-gw76.test");
    for (const QString& a : {requester, gateway, refused})
        clearReceivedMails(a);
    QString longText;
    for (int i = 1; i <= 150; ++i)
        longText += QStringLiteral("%1行目の本文です。\n").arg(i);
    deliver(76, requester, QStringLiteral("03-1234-0000"), longText);
    deliver(76, requester, QStringLiteral("0570-123-456"), QStringLiteral("有料番号\n"));

    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    EXPECT_TRUE(receivedMails(refused).isEmpty()) << "a refused number is never mailed";
    const QList<ParsedMail> sent = mailsTo(gateway);
    ASSERT_EQ(sent.size(), 1) << program.logDump().toStdString();
    ASSERT_EQ(sent[0].attachments.size(), 1);
    EXPECT_EQ(sent[0].attachments[0].contentType, QStringLiteral("application/pdf"));
    const int pages = pdfPages(sent[0].attachments[0].data);
    EXPECT_GE(pages, 2);
    const QList<QueuedFaxJob> queued = pendingJobs();
    ASSERT_EQ(queued.size(), 1);
    EXPECT_EQ(queued[0].pages, pages) << "the PDF carries every page of the rendered fax";
    EXPECT_TRUE(sent[0].subject.contains(queued[0].jobId)) << sent[0].subject.toStdString();

    // Only the gateway's own notice counts; one that merely names the job is mail.
    deliver(76, QStringLiteral("someone@elsewhere.test"),
            QStringLiteral("送信失敗 [%1]").arg(queued[0].jobId), QStringLiteral("偽物\n"));
    deliver(76, QStringLiteral("FAX配信 <notice@fax-gw76.test>"),
            QStringLiteral("送信完了のお知らせ [%1]").arg(queued[0].jobId),
            QStringLiteral("0312340000 へ送信しました。\n"));
    for (int run = 0; run < 2; ++run)
        ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    EXPECT_EQ(outcomeLines(program),
              QStringList({QStringLiteral("kato76@sender.test|0312340000 FAX送信完了 (%1枚、"
                                          "FAXゲートウェイの配信通知)")
                               .arg(pages)}))
        << program.logDump().toStdString();
    EXPECT_TRUE(pendingJobs().isEmpty());
    QStringList subjects;
    for (const ParsedMail& m : mailsTo(requester))
        subjects << m.subject;
    EXPECT_EQ(subjects, QStringList({QStringLiteral("<FAX送信完了>")}));
    QStringList forwarded;
    for (const ParsedMail& m : mailsTo(to))
        forwarded << m.subject;
    EXPECT_EQ(forwarded, QStringList({QStringLiteral("送信失敗 [%1]").arg(queued[0].jobId)}));
}
