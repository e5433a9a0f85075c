// The mail library as the service program has it: modules loaded on first use, and the
// first collection's connection opened while the collection module loads.

#include "platform/deferred/DeferredMail.h"

#include "FaultProxy.h"
#include "platform/deferred/ModuleLoader.h"
#include "platform/mail/MailLibrary.h"
#include "support/MailTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::mail;
using namespace qm::test;

namespace {

QString viaProxy(const FaultProxy& proxy)
{
    return QStringLiteral("127.0.0.1\t%1").arg(proxy.port());
}

void deliverPlain(int user, const QString& subject)
{
    ComposedMail m;
    m.from = QStringLiteral("sender@example.jp");
    m.to = {QStringLiteral("office@example.jp")};
    m.subject = subject;
    m.body = QStringLiteral("本文\n");
    QString error;
    ASSERT_FALSE(deliverRaw(userName(user), composeMail(m), &error).isEmpty())
        << error.toStdString();
}

} // namespace

TEST(DeferredMail, TheFirstCollectionUsesTheConnectionOpenedWhileTheModuleLoaded)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const int user = 74;
    emptyMailbox(userName(user));
    deliverPlain(user, QStringLiteral("一通目"));
    deliverPlain(user, QStringLiteral("二通目"));
    FaultProxy proxy(s.pop3Host, s.pop3NoApopPort);
    ASSERT_TRUE(proxy.started());
    QTemporaryDir work;

    prepareFirstCollection(viaProxy(proxy));
    MailLibrary& library = systemMailLibrary();
    const MailResult first = library.RcvMail(viaProxy(proxy), userName(user), userPassword(user),
                                             QStringLiteral("SAVEALL"), work.path() + u'>');
    ASSERT_TRUE(first.isList) << first.text.toStdString();
    EXPECT_EQ(first.items.size(), 2);
    EXPECT_EQ(proxy.accepted(), 1) << "the early connection was taken, not a second one made";

    // Later collections connect as usual; the whole library (reading) loads when first used.
    const MailResult again = library.RcvMail(viaProxy(proxy), userName(user), userPassword(user),
                                             QStringLiteral("SAVEALL"), work.path() + u'>');
    ASSERT_TRUE(again.isList) << again.text.toStdString();
    EXPECT_EQ(proxy.accepted(), 2);
    const MailResult read =
        library.ReadMail(first.items.first(), QStringLiteral("date:from:to:cc:subject:body:"),
                         work.filePath(QStringLiteral("attach")));
    ASSERT_TRUE(read.isList) << read.text.toStdString();
    EXPECT_TRUE(read.items.contains(QStringLiteral("Subject: 一通目")))
        << read.items.join(u'|').toStdString();
    emptyMailbox(userName(user));
}

TEST(DeferredMail, AnEarlyConnectionToAnotherServerIsNeverUsed)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const int user = 75;
    emptyMailbox(userName(user));
    deliverPlain(user, QStringLiteral("別のサーバー"));
    FaultProxy stale(s.pop3Host, s.pop3NoApopPort);
    FaultProxy actual(s.pop3Host, s.pop3NoApopPort);
    ASSERT_TRUE(stale.started() && actual.started());
    QTemporaryDir work;

    // The account file changed between the early look and the cycle.
    prepareFirstCollection(viaProxy(stale));
    const MailResult r =
        systemMailLibrary().RcvMail(viaProxy(actual), userName(user), userPassword(user),
                                    QStringLiteral("SAVEALL"), work.path() + u'>');
    ASSERT_TRUE(r.isList) << r.text.toStdString();
    EXPECT_EQ(r.items.size(), 1);
    EXPECT_EQ(actual.accepted(), 1);
    EXPECT_EQ(stale.accepted(), 1) << "opened early, then closed unused";

    // Nor by a deletion: only a collection takes an early connection.
    prepareFirstCollection(viaProxy(actual));
    const MailResult deleted =
        systemMailLibrary().RcvMail(viaProxy(actual), userName(user), userPassword(user),
                                    QStringLiteral("DELE 1"), work.path() + u'>');
    EXPECT_FALSE(deleted.isError()) << deleted.text.toStdString();
    EXPECT_EQ(actual.accepted(), 3);
    EXPECT_EQ(mailboxCount(userName(user)), 0);
}

TEST(DeferredMail, AnEarlyConnectionCarriesImplicitTlsAndStartTls)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const int user = 74;
    emptyMailbox(userName(user));
    deliverPlain(user, QStringLiteral("暗号化"));
    // libcurl starts TLS on the connection it is handed: STLS on the plain port, and at once
    // on port 995 (which needs root for the test servers).
    QStringList servers{s.pop3Server()};
    if (!s.stdPortsHost.isEmpty())
        servers << s.stdPortsHost + QStringLiteral("\t995");
    else if (runningInCi())
        FAIL() << "QM_MAIL_STD_PORTS_HOST missing: the servers need root for port 995";
    for (const QString& server : servers) {
        QTemporaryDir work;
        prepareFirstCollection(server);
        const MailResult r =
            systemMailLibrary().RcvMail(server, userName(user), userPassword(user),
                                        QStringLiteral("SAVEALL"), work.path() + u'>');
        ASSERT_TRUE(r.isList) << server.toStdString() << ": " << r.text.toStdString();
        EXPECT_EQ(r.items.size(), 1);
    }
    emptyMailbox(userName(user));
}

TEST(DeferredMail, AMissingModuleIsNamedInTheError)
{
    QString error;
    EXPECT_EQ(loadModuleEntry(QStringLiteral("quillmarc-nothing.so"), "qm_pop3_module_v1", &error),
              nullptr);
    EXPECT_TRUE(error.contains(QStringLiteral("quillmarc-nothing.so"))) << error.toStdString();
    error.clear();
    // A module without the asked-for entry is refused too.
    EXPECT_EQ(loadModuleEntry(QStringLiteral("quillmarc-pop3.so"), "qm_mail_module_v1", &error),
              nullptr);
    EXPECT_FALSE(error.isEmpty());
}
