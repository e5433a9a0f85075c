#include "MailTestUtil.h"
#include "platform/mail/MailboxFiles.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qm::mail;
using namespace qm::mail::testutil;
using qm::test::deliverRaw;
using qm::test::emptyMailbox;
using qm::test::mailboxCount;
using qm::test::maildirOf;

namespace {

class Pop3Test : public ::testing::Test
{
protected:
    // Each test gets its own mailbox from the mail library's range.
    QString user(int n) const { return qm::test::userName(n); }
    QString password(int n) const { return qm::test::userPassword(n); }
    QString folder() const { return m_dir.path() + QStringLiteral("/MlTmp80"); }
    QString folderPath() const { return folder(); }

    void deliver(const QString& u, const QByteArray& raw)
    {
        QString error;
        ASSERT_FALSE(deliverRaw(u, raw, &error).isEmpty()) << error.toStdString();
    }

    QTemporaryDir m_dir;
};

// Removes one message from the Maildir directly, as another client would.
void removeOnServer(const QString& u, const QString& subject)
{
    for (const char* sub : {"/cur", "/new"}) {
        QDir d(maildirOf(u) + QLatin1String(sub));
        for (const QString& f : d.entryList(QDir::Files)) {
            if (qm::test::parseMail(readAll(d.filePath(f))).subject == subject)
                d.remove(f);
        }
    }
}

QStringList serverSubjects(const QString& u)
{
    QStringList subjects;
    for (const char* sub : {"/cur", "/new"}) {
        QDir d(maildirOf(u) + QLatin1String(sub));
        for (const QString& f : d.entryList(QDir::Files))
            subjects << qm::test::parseMail(readAll(d.filePath(f))).subject;
    }
    subjects.sort();
    return subjects;
}

TEST_F(Pop3Test, SaveAllStoresEveryMessageUnderStableNamesAndFetchesOnlyNewOnes)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString u = user(80);
    emptyMailbox(u);
    deliver(u, plainMail(QStringLiteral("one")));
    deliver(u, plainMail(QStringLiteral("two")));
    deliver(u, plainMail(QStringLiteral("three")));

    const MailResult first = collect(popAccount(s.pop3Server(), u, password(80)), folder());
    ASSERT_TRUE(first.isList) << first.text.toStdString();
    ASSERT_EQ(first.items.size(), 3);
    EXPECT_EQ(subjectsOf(first.items), (QStringList{"one", "two", "three"}));
    for (const QString& p : first.items) {
        EXPECT_EQ(QFileInfo(p).absolutePath(), QFileInfo(folderPath()).absoluteFilePath());
        EXPECT_TRUE(readAll(p).startsWith("From: sender@example.jp\r\n")) << p.toStdString();
    }

    // A file that is already there is the same message: it must not be fetched again.
    {
        QFile f(first.items.at(1));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("LOCAL MARK");
    }
    deliver(u, plainMail(QStringLiteral("four")));
    const MailResult second = collect(popAccount(s.pop3Server(), u, password(80)), folder());
    ASSERT_TRUE(second.isList) << second.text.toStdString();
    ASSERT_EQ(second.items.size(), 4);
    EXPECT_EQ(second.items.mid(0, 3), first.items);
    EXPECT_TRUE(readAll(second.items.at(1)).endsWith("LOCAL MARK"));
    EXPECT_EQ(subjectsOf(second.items).last(), QStringLiteral("four"));
    EXPECT_EQ(mailboxCount(u), 4); // collection leaves mail on the server

    // The file of a message that left the server goes too; the others keep their names.
    removeOnServer(u, QStringLiteral("one"));
    const MailResult third = collect(popAccount(s.pop3Server(), u, password(80)), folder());
    ASSERT_TRUE(third.isList) << third.text.toStdString();
    EXPECT_EQ(third.items, second.items.mid(1));
    EXPECT_FALSE(QFileInfo::exists(first.items.at(0)));

    // Nothing new: the stored list is not rewritten (a cycle costs no disk sync then), and
    // what an interrupted fetch left behind still goes.
    const auto inodeOf = [](const QString& path) {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    const QString list = uidlListPath(folderPath());
    const ino_t before = inodeOf(list);
    ASSERT_NE(before, ino_t(0));
    const QString leftover = QDir(folderPath()).filePath(QStringLiteral(".x.eml.part"));
    QFile(leftover).open(QIODevice::WriteOnly);
    const MailResult fourth = collect(popAccount(s.pop3Server(), u, password(80)), folder());
    EXPECT_EQ(fourth.items, third.items);
    EXPECT_EQ(inodeOf(list), before);
    EXPECT_FALSE(QFileInfo::exists(leftover));
    EXPECT_EQ(readUidlList(folderPath()).size(), 3);
}

TEST_F(Pop3Test, EmptyMailboxGivesEmptyText)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    emptyMailbox(user(81));
    const MailResult r = collect(popAccount(s.pop3Server(), user(81), password(81)), folder());
    EXPECT_FALSE(r.isList);
    EXPECT_EQ(r.text, QString());
    EXPECT_FALSE(r.isError());
}

TEST_F(Pop3Test, DeleteFindsTheStoredMessageWhereverItStandsNow)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString u = user(82);
    emptyMailbox(u);
    for (const char* subject : {"a", "b", "c", "d"})
        deliver(u, plainMail(QString::fromLatin1(subject)));
    const PopAccount account = popAccount(s.pop3Server(), u, password(82));
    const MailResult listed = collect(account, folder());
    ASSERT_TRUE(listed.isList) << listed.text.toStdString();
    deliver(u, plainMail(QStringLiteral("late")));
    removeOnServer(u, QStringLiteral("a")); // another client: every position moves up

    SystemMailLibrary library;
    EXPECT_EQ(library.DeleteMail(account, listed.items.at(2)), QString());
    EXPECT_EQ(serverSubjects(u), (QStringList{"b", "d", "late"}));
    EXPECT_EQ(library.DeleteMail(account, listed.items.at(1)), QString());
    EXPECT_EQ(serverSubjects(u), (QStringList{"d", "late"}));
    // Gone already: nothing is left to do, and nothing else is touched.
    EXPECT_EQ(library.DeleteMail(account, listed.items.at(0)), QString());
    EXPECT_EQ(serverSubjects(u), (QStringList{"d", "late"}));
}

TEST_F(Pop3Test, DeleteRefusesWhatNoCollectionStored)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString u = user(83);
    emptyMailbox(u);
    deliver(u, plainMail(QStringLiteral("x")));
    const PopAccount account = popAccount(s.pop3Server(), u, password(83));
    SystemMailLibrary library;

    // Without a listing there is nothing to check against.
    EXPECT_FALSE(library.DeleteMail(account, folder() + QStringLiteral("/x.eml")).isEmpty());
    const MailResult listed = collect(account, folder());
    ASSERT_TRUE(listed.isList);
    EXPECT_FALSE(library.DeleteMail(account, folder() + QStringLiteral("/other.eml")).isEmpty());
    EXPECT_EQ(serverSubjects(u), (QStringList{"x"}));
}

TEST_F(Pop3Test, LoginVariantsAndTheirFailures)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString u = user(84);
    emptyMailbox(u);
    deliver(u, plainMail(QStringLiteral("hello")));

    const MailResult apop = collect(popAccount(s.pop3Server(), u, password(84), true), folder());
    ASSERT_TRUE(apop.isList) << apop.text.toStdString();

    const MailResult noApop =
        collect(popAccount(s.pop3NoApopServer(), u, password(84), true), folder());
    EXPECT_TRUE(noApop.isError());
    EXPECT_TRUE(noApop.text.contains(QStringLiteral("APOP"))) << noApop.text.toStdString();

    const MailResult wrong =
        collect(popAccount(s.pop3Server(), u, QStringLiteral("nope")), folder());
    EXPECT_TRUE(wrong.isError());
    EXPECT_TRUE(wrong.text.contains(QString::number(s.pop3Port))) << wrong.text.toStdString();
    EXPECT_TRUE(wrong.text.contains(QStringLiteral("ログイン"))) << wrong.text.toStdString();

    const MailResult wrongApop =
        collect(popAccount(s.pop3Server(), u, QStringLiteral("nope"), true), folder());
    EXPECT_TRUE(wrongApop.isError());

    // A password that begins with "a " is a password, not a request for APOP.
    const QString spaced = QStringLiteral("aspace");
    emptyMailbox(spaced);
    deliver(spaced, plainMail(QStringLiteral("spaced")));
    for (const QString& server : {s.pop3Server(), s.pop3NoApopServer()}) {
        const MailResult r =
            collect(popAccount(server, spaced, QStringLiteral("a secret")), folder());
        EXPECT_TRUE(r.isList) << r.text.toStdString();
    }
    EXPECT_TRUE(
        collect(popAccount(s.pop3Server(), spaced, QStringLiteral("a secret"), true), folder())
            .isList)
        << "and with APOP asked for, the same password works";

    // A server without TLS or APOP.
    const MailResult plain = collect(popAccount(s.pop3NoApopServer(), u, password(84)), folder());
    EXPECT_TRUE(plain.isList) << plain.text.toStdString();
}

TEST_F(Pop3Test, CertificatesAreVerifiedOnStartTlsAndImplicitTls)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString u = user(85);
    emptyMailbox(u);
    deliver(u, plainMail(QStringLiteral("tls")));

    // The plain port offers STLS; trusting another CA must make the session fail.
    {
        EnvGuard ca("QM_CA_FILE", s.otherCaFile.toLocal8Bit());
        const MailResult r = collect(popAccount(s.pop3Server(), u, password(85)), folder());
        EXPECT_TRUE(r.isError());
        EXPECT_TRUE(r.text.contains(QStringLiteral("証明書"))) << r.text.toStdString();
        // Without STLS on offer the same trust store does not matter.
        EXPECT_TRUE(collect(popAccount(s.pop3NoApopServer(), u, password(85)), folder()).isList);
    }
    EXPECT_TRUE(collect(popAccount(s.pop3Server(), u, password(85)), folder()).isList);

    if (s.stdPortsHost.isEmpty()) {
        if (qm::test::runningInCi())
            FAIL() << "QM_MAIL_STD_PORTS_HOST missing: the servers need root for port 995";
        GTEST_SKIP() << "port 995 needs root; implicit TLS not tested";
    }
    const QString pop3s = s.stdPortsHost + QStringLiteral("\t995");
    const MailResult ok = collect(popAccount(pop3s, u, password(85)), folder());
    EXPECT_TRUE(ok.isList) << ok.text.toStdString();
    EnvGuard ca("QM_CA_FILE", s.otherCaFile.toLocal8Bit());
    EXPECT_TRUE(collect(popAccount(pop3s, u, password(85)), folder()).isError());
}

TEST_F(Pop3Test, DeadServersGiveErrorTextsWithoutHanging)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    TimeoutGuard short_({2, 2});

    // A closed port.
    const int lone = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(lone, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(lone, reinterpret_cast<sockaddr*>(&addr), &len);
    const QString closed = QStringLiteral("127.0.0.1\t%1").arg(ntohs(addr.sin_port));
    const MailResult refused = collect(popAccount(closed, user(86), password(86)), folder());
    EXPECT_TRUE(refused.isError());
    EXPECT_TRUE(refused.text.contains(QStringLiteral("接続できません")))
        << refused.text.toStdString();

    // A server that accepts and never says a word.
    ASSERT_EQ(::listen(lone, 4), 0);
    QElapsedTimer timer;
    timer.start();
    const MailResult silent = collect(popAccount(closed, user(86), password(86)), folder());
    EXPECT_TRUE(silent.isError());
    EXPECT_LT(timer.elapsed(), 10000);
    ::close(lone);

    EXPECT_TRUE(
        collect(popAccount(QStringLiteral("127.0.0.1\tnoport"), user(86), password(86)), folder())
            .isError());
    EXPECT_TRUE(collect(popAccount(QString(), user(86), password(86)), folder()).isError());
}

} // namespace
