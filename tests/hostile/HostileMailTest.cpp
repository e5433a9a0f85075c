// Mail written to hurt: each case is delivered to a real mailbox and the real program runs one
// cycle over it. The program must end normally, keep its files inside its own folder, and
// handle the rest of the mailbox.

#include "data/Paths.h"
#include "data/TextCodec.h"
#include "platform/mail/MailLibrary.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

QByteArray head(const QString& to, const QByteArray& subject, const QByteArray& contentType)
{
    return "From: sender@hostile.test\r\nTo: " + to.toUtf8() + "\r\nSubject: " + subject +
           "\r\nDate: Mon, 07 Dec 2026 10:00:00 +0900\r\nMIME-Version: 1.0\r\nContent-Type: " +
           contentType + "\r\n\r\n";
}

QByteArray attachmentPart(const QByteArray& boundary, const QByteArray& nameParameter)
{
    return "--" + boundary + "\r\nContent-Type: application/octet-stream; name=" + nameParameter +
           "\r\nContent-Disposition: attachment; filename=" + nameParameter +
           "\r\nContent-Transfer-Encoding: base64\r\n\r\naG9zdGlsZQ==\r\n";
}

void put(int user, const QByteArray& raw)
{
    QString error;
    ASSERT_FALSE(deliverRaw(userName(user), raw, &error).isEmpty()) << error.toStdString();
}

// Every file below `root`, relative to it.
QStringList filesBelow(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    return out;
}

class HostileMail : public testing::Test
{
protected:
    void SetUp() override { QDir(m_outside).removeRecursively(); }
    // Where an escaping attachment would land: next to the program folder.
    QString m_outside = QDir::tempPath() + QStringLiteral("/qm-hostile-outside");
};

TEST_F(HostileMail, AttachmentNamesNeverChooseAFolder)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1, 0);
    const QString to = QStringLiteral("hostile51@dest.test");
    program.writeAccounts({testAccount(servers, "01", 51, to)});

    const QByteArray up = "../../../../../../../../../../.." + QDir::tempPath().toUtf8();
    const QByteArray names[] = {
        "\"" + up + "/qm-hostile-outside/dots.txt\"",
        "\"" + QDir::tempPath().toUtf8() + "/qm-hostile-outside/absolute.txt\"",
        "\"..\\\\..\\\\..\\\\backslash.txt\"",
        // "../../qm-hostile-outside/encoded.txt" as an encoded word
        "\"=?UTF-8?B?" + QByteArray("../../../qm-hostile-outside/encoded.txt").toBase64() + "?=\"",
        // RFC 2231 percent-encoded slashes
        "*=UTF-8''..%2F..%2F..%2Fqm-hostile-outside%2Fpercent.txt",
        "\"..\"",
        "\"con\\r\\nnul\\x01.txt\"",
    };
    QByteArray raw = head(to, "names", "multipart/mixed; boundary=\"B\"");
    raw += "--B\r\nContent-Type: text/plain\r\n\r\nbody\r\n";
    for (const QByteArray& n : names)
        raw += attachmentPart("B", n);
    raw += "--B--\r\n";
    put(51, raw);

    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_outside)) << filesBelow(m_outside).join(u' ').toStdString();
    // Inside the program folder every stored attachment is in the account's work folder.
    const QStringList programFiles{QStringLiteral("quillmarc")};
    for (const QString& f : filesBelow(program.path())) {
        if (f.startsWith(QLatin1String("MlTmp01/Attach/")))
            EXPECT_FALSE(f.mid(15).contains(u'/')) << f.toStdString();
        else
            EXPECT_TRUE(f.startsWith(QLatin1String("MlTmp01/")) ||
                        f.startsWith(QLatin1String("Data/")) || programFiles.contains(f))
                << f.toStdString();
    }
    const auto received = receivedMails(to);
    ASSERT_EQ(received.size(), 1) << program.logDump().toStdString();
    const ParsedMail forwarded = parseMail(received.first().raw);
    EXPECT_EQ(forwarded.attachments.size(), int(std::size(names)));
    for (const ParsedAttachment& a : forwarded.attachments) {
        EXPECT_FALSE(a.fileName.contains(u'/') || a.fileName.contains(u'\\') || a.fileName == u"..")
            << a.fileName.toStdString();
        EXPECT_EQ(a.data, QByteArray("hostile"));
    }
}

TEST_F(HostileMail, OversizedAndMalformedStructureIsForwardedInBoundedTime)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1, 0);
    const QString to = QStringLiteral("hostile52@dest.test");
    program.writeAccounts({testAccount(servers, "01", 52, to)});

    // A subject of one megabyte on one line, and a header of 20000 folded lines.
    QByteArray longHeaders = head(to, "long " + QByteArray(1 << 20, 'S'), "text/plain");
    longHeaders.replace("\r\n\r\n", "\r\nX-Folded: start");
    for (int i = 0; i < 20000; ++i)
        longHeaders += "\r\n\tfold" + QByteArray::number(i);
    longHeaders += "\r\n\r\nlong headers body\r\n";
    put(52, longHeaders);

    // Multiparts nested far deeper than any mailer writes, text at the bottom. The MIME
    // library reads 1024 levels; what lies deeper is not read, but the mail still goes on.
    // (Boundaries of equal length: one may not begin with another.)
    const auto nestedMail = [&](const QByteArray& subject, int depth) {
        const auto boundary = [](int i) {
            return "n" + QByteArray::number(i).rightJustified(5, '0') + "x";
        };
        QByteArray raw = head(to, subject, "multipart/mixed; boundary=\"" + boundary(0) + "\"");
        for (int i = 1; i <= depth; ++i)
            raw += "--" + boundary(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=\"" +
                   boundary(i) + "\"\r\n\r\n";
        raw += "--" + boundary(depth) + "\r\nContent-Type: text/plain\r\n\r\nat the bottom\r\n";
        for (int i = depth; i >= 0; --i)
            raw += "--" + boundary(i) + "--\r\n";
        return raw;
    };
    put(52, nestedMail("nested", 1000));
    put(52, nestedMail("too deep", 20000));

    // A bomb of many small named parts.
    const int parts = 3000;
    QByteArray bomb = head(to, "bomb", "multipart/mixed; boundary=\"M\"");
    bomb += "--M\r\nContent-Type: text/plain\r\n\r\nbomb body\r\n";
    for (int i = 0; i < parts; ++i)
        bomb += attachmentPart("M", "\"p.txt\"");
    bomb += "--M--\r\n";
    put(52, bomb);

    // Charsets that do not exist or lie about the bytes.
    QByteArray charsets = head(
        to, "=?x-no-such-set?B?gqCCog==?= =?UTF-8?Q?=FF=FE?=", "multipart/mixed; boundary=\"C\"");
    charsets += "--C\r\nContent-Type: text/plain; charset=\"../../x-unknown\"\r\n\r\n"
                "\x82\xa0\x82\xa2 unknown\r\n"
                "--C\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n\xff\xfe\xc3 bad utf-8\r\n"
                "--C\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n\r\n\x1b$B\x7f\x7f\x1b(Q "
                "broken jis\r\n"
                "--C--\r\n";
    put(52, charsets);

    QElapsedTimer timer;
    timer.start();
    const auto run = program.runOnce(300000);
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    const qint64 seconds = timer.elapsed() / 1000;

    QStringList subjects;
    for (const ReceivedMail& m : receivedMails(to))
        subjects << parseMail(m.raw).subject.left(8);
    subjects.sort();
    EXPECT_EQ(subjects.size(), 5) << subjects.join(u'|').toStdString() << "\n"
                                  << program.logDump().toStdString();
    for (const ReceivedMail& m : receivedMails(to)) {
        const ParsedMail p = parseMail(m.raw);
        if (p.subject == u"nested")
            EXPECT_TRUE(p.body.contains(QStringLiteral("at the bottom")))
                << p.body.left(200).toStdString();
        if (p.subject == u"bomb")
            EXPECT_EQ(p.attachments.size(), parts);
        if (p.subject.startsWith(u"long"))
            EXPECT_TRUE(p.body.contains(QStringLiteral("long headers body")));
    }
    EXPECT_EQ(mailboxCount(userName(52)), 5); // forwarded, not deleted: nothing lost
    std::printf("hostile structure cycle: %lld s\n", static_cast<long long>(seconds));
}

TEST_F(HostileMail, AFaxNumberSubjectWithShellCharactersRunsNothing)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1, 0);
    const QString to = QStringLiteral("hostile53@dest.test");
    AccountRecord a = testAccount(servers, "01", 53, to);
    a.FaxNumbers = QStringLiteral("0312345678\t");
    program.writeAccounts({a});

    const QString canary = m_outside + QStringLiteral("/ran");
    const QStringList subjects = {
        QStringLiteral("0312345678; mkdir -p %1; touch %2").arg(m_outside, canary),
        QStringLiteral("03-1234-5678$(mkdir -p %1 && touch %2)").arg(m_outside, canary),
        QStringLiteral("0312345678`mkdir -p %1`|touch %2&").arg(m_outside, canary),
        QStringLiteral("-0312345678 --help"),
    };
    for (const QString& s : subjects)
        deliver(53, QStringLiteral("sender@hostile.test"), s, QStringLiteral("fax me\n"));

    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_outside));
    // None of them is a fax number: each is an ordinary mail, forwarded with its subject whole.
    QStringList forwarded;
    for (const ReceivedMail& m : receivedMails(to))
        forwarded << parseMail(m.raw).subject;
    QStringList expected = subjects;
    expected.sort();
    forwarded.sort();
    EXPECT_EQ(forwarded, expected) << program.logDump().toStdString();
}

TEST_F(HostileMail, AForgedRemoteSenderCanOnlyChangeThisAccountAndTheOwnerIsTold)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1, 1);
    const QString boss = QStringLiteral("boss54@remote.test"); // the crash test owns boss68
    const QString to = QStringLiteral("hostile54@dest.test");
    AccountRecord a = testAccount(servers, "01", 54, to);
    a.RemoteAddress = boss;
    a.FaxNumbers = QStringLiteral("0311112222\t");
    AccountRecord other = testAccount(servers, "02", 55, QStringLiteral("other55@dest.test"));
    program.writeAccounts({a, other});
    clearReceivedMails(boss);
    clearReceivedMails(QStringLiteral("thief@evil.test"));

    // Anyone can write the boss's address in From:. A look-alike that only contains it is
    // ordinary mail.
    const QString forged = QStringLiteral("Boss <") + boss + u'>';
    const QString lookAlike = QStringLiteral("x") + boss + QStringLiteral(".evil.test");
    deliver(54, forged, QStringLiteral("メール"), QStringLiteral("01\nthief@evil.test\n"));
    // Values that would break the account line or carry commands are refused or kept as data.
    deliver(54, lookAlike, QStringLiteral("ファックス"), QStringLiteral("01\n03-1234;reboot\n"));
    deliver(
        54, forged, QStringLiteral("メール"),
        QStringLiteral("02\nthief@evil.test\n")); // another account: not this mailbox's to change
    deliver(54, forged, QStringLiteral("ファックス"), QStringLiteral("01\n\"03\",\"9\"\n"));

    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    const auto stored = program.storedAccount("01");
    ASSERT_TRUE(stored.has_value());
    // What a forger can do: redirect this account's forwarding.
    EXPECT_EQ(stored->ForwardTo, QStringLiteral("thief@evil.test"));
    EXPECT_EQ(stored->FaxNumbers, QStringLiteral("0311112222\t"));
    // What a forger cannot do: touch another account, break the file, or read the answers.
    EXPECT_EQ(program.storedAccount("02")->ForwardTo, QStringLiteral("other55@dest.test"));
    const auto lines = readTextLines(filePaths().accountFile);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(lines->size(), 2);
    EXPECT_TRUE(receivedMails(QStringLiteral("thief@evil.test")).isEmpty());
    QStringList replies;
    for (const ReceivedMail& m : receivedMails(boss))
        replies << parseMail(m.raw).subject;
    replies.sort();
    EXPECT_EQ(replies, QStringList({"アドレス変更OK", "リモート設定エラー"}))
        << program.logDump().toStdString();
    ASSERT_EQ(receivedMails(to).size(), 1) << "the look-alike, forwarded as ordinary mail";
    EXPECT_EQ(parseMail(receivedMails(to).first().raw).subject, QStringLiteral("ファックス"));
}

} // namespace
