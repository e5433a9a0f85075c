#pragma once

// Small helpers shared by the mail library's test files.

#include "platform/mail/MailLibrary.h"
#include "support/MailTestSupport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace qm::mail::testutil {

// HTML with pictures needs an application object, as the service has.
class AppEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "qm-mail-test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
};

inline const bool kAppEnvironmentAdded =
    (::testing::AddGlobalTestEnvironment(new AppEnvironment), true);

inline QByteArray plainMail(const QString& tag)
{
    return QStringLiteral("From: sender@example.jp\r\nTo: box@example.jp\r\nSubject: %1\r\n"
                          "Message-ID: <%1@example.jp>\r\n\r\nbody of %1\r\n")
        .arg(tag)
        .toUtf8();
}

// A server as the test servers name it ("host" TAB "port").
inline ServerAddress serverAt(const QString& hostTabPort, int defaultPort = kPop3DefaultPort)
{
    const QStringList parts = hostTabPort.split(QLatin1Char('\t'));
    return ServerAddress::fromColumns(parts.value(0), parts.value(1), defaultPort);
}

inline PopAccount popAccount(const QString& hostTabPort, const QString& user,
                             const QString& password, bool apop = false)
{
    PopAccount account;
    account.server = serverAt(hostTabPort);
    account.user = user;
    account.password = password;
    account.apop = apop;
    return account;
}

inline MailResult collect(const PopAccount& account, const QString& folder)
{
    return SystemMailLibrary().RcvMail(account, folder);
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The Subject of every message in the list, in list order.
inline QStringList subjectsOf(const QStringList& paths)
{
    QStringList out;
    for (const QString& p : paths)
        out << qm::test::parseMail(readAll(p)).subject;
    return out;
}

// Restores the process-wide settings a test changed.
struct EnvGuard
{
    QByteArray name, old;
    bool had;
    EnvGuard(const char* n, const QByteArray& value)
        : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n))
    {
        qputenv(n, value);
    }
    ~EnvGuard()
    {
        if (had)
            qputenv(name.constData(), old);
        else
            qunsetenv(name.constData());
    }
};

struct TimeoutGuard
{
    MailTimeouts old = mailTimeouts();
    explicit TimeoutGuard(MailTimeouts t) { setMailTimeouts(t); }
    ~TimeoutGuard() { setMailTimeouts(old); }
};

} // namespace qm::mail::testutil
