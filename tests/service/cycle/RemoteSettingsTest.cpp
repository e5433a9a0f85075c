#include "support/ProgramFolder.h"

#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

const QString kBoss = QStringLiteral("boss@remote.test");

QStringList replySubjects(const QString& to)
{
    QStringList subjects;
    for (const ReceivedMail& m : receivedMails(to))
        subjects << parseMail(m.raw).subject;
    return subjects;
}

} // namespace

TEST(RemoteSettings, EachCommandChangesTheAccountFileAndIsAnswered)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0, 1);
    const QString to = QStringLiteral("remote47@dest.test");
    AccountRecord a = testAccount(servers, "01", 47, to);
    a.RemoteAddress = kBoss;
    a.FaxNumbers = QStringLiteral("011-111-1111\t");
    program.writeAccounts({a});
    clearReceivedMails(kBoss);

    const QString from = QStringLiteral("部長 <boss@remote.test>");
    deliver(47, from, QStringLiteral("転送停止"), QStringLiteral("1\n"));
    deliver(47, from, QStringLiteral("ファックス"),
            QStringLiteral("01\n03-1234-5678\n045-000-0000\n"));
    deliver(47, from, QStringLiteral("メール"), QStringLiteral("01\n\nnew47@dest.test\n"));
    deliver(47, from, QStringLiteral("メール"), QStringLiteral("01\nnot-an-address\n"));
    deliver(47, from, QStringLiteral("転送開始"), QStringLiteral("02\n")); // another account's
    deliver(47, from, QStringLiteral("転送開始"), QStringLiteral("123\n"));
    deliver(47, from, QStringLiteral("転送開始"), QStringLiteral("1.\n"));     // no number either
    deliver(47, from, QStringLiteral("転送開始です"), QStringLiteral("01\n")); // not a command word
    // Nor is one with a space after it, as a phone encodes it.
    const QByteArray spaced = "From: boss@remote.test\r\nSubject: =?UTF-8?B?" +
                              QStringLiteral("転送開始 ").toUtf8().toBase64() + "?=\r\n\r\n01\r\n";
    QString error;
    ASSERT_FALSE(deliverRaw(userName(47), spaced, &error).isEmpty()) << error.toStdString();
    // An address the account file cannot hold is refused, not tried again every cycle.
    deliver(47, from, QStringLiteral("メール"), QStringLiteral("01\nsmile😀@dest.test\n"));
    deliver(47, from, QStringLiteral("転送開始"), QStringLiteral("01\n"));

    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();

    const auto stored = program.storedAccount("01");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->ForwardState, QStringLiteral("1"));
    EXPECT_EQ(stored->FaxNumbers, QStringLiteral("03-1234-5678\t045-000-0000"));
    EXPECT_EQ(stored->ForwardTo, QStringLiteral("new47@dest.test"));
    EXPECT_EQ(stored->AccountName, a.AccountName);

    QStringList subjects = replySubjects(kBoss);
    subjects.sort();
    QStringList expected = {"転送停止OK",         "FAX番号変更OK",      "アドレス変更OK",
                            "リモート設定エラー", "リモート設定エラー", "リモート設定エラー",
                            "リモート設定エラー", "転送開始OK"};
    expected.sort();
    EXPECT_EQ(subjects, expected) << program.logDump().toStdString();
    for (const ReceivedMail& m : receivedMails(kBoss)) {
        const ParsedMail p = parseMail(m.raw);
        EXPECT_EQ(m.mailFrom, kBoss);
        if (p.subject == u"FAX番号変更OK")
            EXPECT_TRUE(p.body.contains(QStringLiteral("FAX番号変更")) &&
                        p.body.contains(QStringLiteral("03-1234-5678")) &&
                        p.body.contains(QStringLiteral("045-000-0000")))
                << p.body.toStdString();
        if (p.subject == u"転送停止OK")
            EXPECT_TRUE(p.body.startsWith(a.AccountName) &&
                        p.body.contains(QStringLiteral("転送処理を停止しました")));
    }
    const QString account = a.AccountName;
    EXPECT_EQ(program.logCount(account, "転送停止（リモート設定）"), 1);
    EXPECT_EQ(program.logCount(account, "FAX番号変更（リモート設定）", "03-1234-5678 045-000-0000"),
              1);
    EXPECT_EQ(program.logCount(account, "メールアドレス変更（リモート設定）", "new47@dest.test"),
              1);
    EXPECT_EQ(
        program.logCount(account, "リモート設定エラー", "メールの設定データが正しくありません。"),
        2);
    EXPECT_EQ(program.logCount(account, "リモート設定エラー", "アカウント番号なし"), 2);

    // Nine command mails left the server; the two that were no command word are forwarded
    // to the addresses loaded for this cycle and stay.
    EXPECT_EQ(mailboxCount(userName(47)), 2);
    QStringList forwarded;
    for (const ReceivedMail& m : receivedMails(to))
        forwarded << parseMail(m.raw).subject;
    forwarded.sort();
    EXPECT_EQ(forwarded, QStringList({"転送開始 ", "転送開始です"}));
}

TEST(RemoteSettings, DeletionCommandsEmptyTheLists)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0, 1);
    AccountRecord a = testAccount(servers, "03", 48, QStringLiteral("remote48@dest.test"));
    a.RemoteAddress = kBoss;
    a.FaxNumbers = QStringLiteral("011-111-1111\t");
    program.writeAccounts({a});
    clearReceivedMails(kBoss);
    deliver(48, kBoss, QStringLiteral("ファックス"), QStringLiteral("3\n"));
    deliver(48, kBoss, QStringLiteral("メール"), QStringLiteral("03\n"));

    ASSERT_EQ(program.runOnce().exitCode, 0);
    const auto stored = program.storedAccount("03");
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(stored->FaxNumbers.isEmpty());
    EXPECT_TRUE(stored->ForwardTo.isEmpty());
    QStringList subjects = replySubjects(kBoss);
    subjects.sort();
    EXPECT_EQ(subjects, QStringList({"FAX番号削除OK", "アドレス削除OK"}));
}

TEST(RemoteSettings, WithRemoteSettingsOffACommandMailIsAnOrdinaryMail)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0, 0);
    const QString to = QStringLiteral("remote49@dest.test");
    AccountRecord a = testAccount(servers, "01", 49, to);
    a.RemoteAddress = kBoss;
    program.writeAccounts({a});
    clearReceivedMails(kBoss);
    deliver(49, kBoss, QStringLiteral("転送停止"), QStringLiteral("01\n"));

    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(program.storedAccount("01")->ForwardState, QStringLiteral("1"));
    EXPECT_TRUE(receivedMails(kBoss).isEmpty());
    ASSERT_EQ(receivedMails(to).size(), 1);
    EXPECT_EQ(mailboxCount(userName(49)), 1);
}

TEST(RemoteSettings, OnlyTheRemoteAddressItselfMaySteerTheAccount)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0, 1);
    const QString to = QStringLiteral("remote28@dest.test");
    AccountRecord a = testAccount(servers, "01", 28, to);
    a.RemoteAddress = kBoss;
    program.writeAccounts({a});
    clearReceivedMails(kBoss);
    const QString redirect = QStringLiteral("01\nattacker@evil.example\n");
    deliver(28, QStringLiteral("\"boss@remote.test\" <attacker@evil.example>"),
            QStringLiteral("メール"), redirect);
    deliver(28, QStringLiteral("boss@remote.test.evil.example"), QStringLiteral("メール"),
            redirect);

    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    EXPECT_EQ(program.storedAccount("01")->ForwardTo, to);
    EXPECT_TRUE(receivedMails(kBoss).isEmpty());
    EXPECT_EQ(receivedMails(to).size(), 2) << "ordinary mail, forwarded as such";

    // "@domain" lets any address of exactly that domain steer it.
    a.RemoteAddress = QStringLiteral("@remote.test");
    program.writeAccounts({a});
    const QString deputy = QStringLiteral("deputy@REMOTE.test");
    clearReceivedMails(deputy);
    deliver(28, deputy, QStringLiteral("転送停止"), QStringLiteral("01\n"));
    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    EXPECT_EQ(program.storedAccount("01")->ForwardState, QStringLiteral("0"));
    EXPECT_EQ(replySubjects(deputy), QStringList{QStringLiteral("転送停止OK")})
        << "answered to the address that sent it";
}

namespace {

QByteArray word(const char* charset, const QString& text)
{
    return QByteArray("=?") + charset + "?B?" + text.toUtf8().toBase64() + "?=";
}

void deliverFrom(int user, const QByteArray& from, const QString& subject, const QString& body)
{
    const QByteArray raw = "From: " + from +
                           "\r\nTo: u@quillmarc.test\r\nSubject: " + word("UTF-8", subject) +
                           "\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n" + body.toUtf8();
    QString error;
    ASSERT_FALSE(deliverRaw(userName(user), raw, &error).isEmpty()) << error.toStdString();
}

} // namespace

// Who sent a mail is the address of the raw From header: a display name that decodes to the
// boss's address is anybody, and the boss's real name, however awkward, is the boss.
TEST(RemoteSettings, AnEncodedNameIsNobodyAndTheBossIsKnownByAddressAlone)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0, 1);
    const QString to = QStringLiteral("remote83@dest.test");
    AccountRecord a = testAccount(servers, "02", 83, to);
    a.RemoteAddress = kBoss;
    program.writeAccounts({a});
    clearReceivedMails(kBoss);
    const QString redirect = QStringLiteral("02\r\nattacker@evil.example\r\n");
    deliverFrom(83, "=?UTF-8?Q?=3Cboss=40remote.test=3E?= <attacker@evil.example>",
                QStringLiteral("メール"), redirect);
    deliverFrom(83,
                word("UTF-8", QStringLiteral("<boss@remote.test>")) + " <attacker@evil.example>",
                QStringLiteral("メール"), redirect);
    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    EXPECT_EQ(program.storedAccount("02")->ForwardTo, to);
    EXPECT_TRUE(receivedMails(kBoss).isEmpty());
    EXPECT_EQ(receivedMails(to).size(), 2) << "ordinary mail, forwarded as such";

    // The boss's own address behind names with separators, quotes and comments, typed in
    // capitals: every one is the boss.
    const QByteArray names[] = {
        word("UTF-8", QStringLiteral("山田; 営業部")) + " <Boss@Remote.test>",
        word("UTF-8", QStringLiteral("山田, 営業部")) + " <boss@remote.test>",
        "\"Yamada, Taro\" <BOSS@remote.test>",
        "boss@remote.test (Yamada; Sales)",
    };
    for (const QByteArray& from : names)
        deliverFrom(83, from, QStringLiteral("転送停止"), QStringLiteral("02\r\n"));
    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    EXPECT_EQ(program.storedAccount("02")->ForwardState, QStringLiteral("0"));
    EXPECT_EQ(replySubjects(kBoss).size(), 4) << program.logDump().toStdString();
    EXPECT_EQ(receivedMails(to).size(), 2) << "no command was forwarded";

    // A remote address without "@" can match nobody: the log says so once a cycle.
    a.RemoteAddress = QStringLiteral("remote.test");
    program.writeAccounts({a});
    deliver(83, kBoss, QStringLiteral("転送開始"), QStringLiteral("02\n"));
    deliver(83, kBoss, QStringLiteral("転送開始"), QStringLiteral("02\n"));
    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    EXPECT_EQ(program.logCount(a.AccountName,
                               QStringLiteral("リモート設定アドレスが正しくありません"),
                               QStringLiteral("remote.test")),
              1)
        << program.logDump().toStdString();
}
