// Times RcvMail "SAVEALL" on a mailbox of 1,000 messages (first fetch, then a fetch with
// nothing new) against fetchmail doing the same in keep mode with UIDL, and measures the
// peak memory of ReadMail on a message with a 30 MB attachment.
//
// Usage: tests/servers/run.sh build/bin/mail_bench [messages] [rounds]

#include "platform/mail/MailLibrary.h"
#include "support/MailTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace qm::mail;

namespace {

const QString kUser = QStringLiteral("bench");
const QString kPassword = QStringLiteral("benchpw");

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

double timeOurs(const QString& server, const QString& folder, int expected)
{
    QElapsedTimer t;
    t.start();
    const QStringList parts = server.split(QLatin1Char('\t'));
    PopAccount account;
    account.server = ServerAddress::fromColumns(parts.value(0), parts.value(1), kPop3DefaultPort);
    account.user = kUser;
    account.password = kPassword;
    const MailResult r = SystemMailLibrary().RcvMail(account, folder);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (!r.isList || r.items.size() != expected) {
        std::fprintf(stderr, "SAVEALL failed: %s (%lld items)\n", qPrintable(r.text),
                     (long long)r.items.size());
        std::exit(2);
    }
    return ms;
}

double timeFetchmail(const QString& home, const QString& spool, int port, int* exitCode)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("FETCHMAILHOME"), home);
    p.setProcessEnvironment(env);
    const QString mda = QStringLiteral("cat > \"$(mktemp %1/msg.XXXXXX)\"").arg(spool);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("fetchmail"),
            {QStringLiteral("-p"), QStringLiteral("POP3"), QStringLiteral("-P"),
             QString::number(port), QStringLiteral("-u"), kUser, QStringLiteral("-k"),
             QStringLiteral("--uidl"), QStringLiteral("--sslproto"), QString(),
             QStringLiteral("--mda"), mda, QStringLiteral("-s"), QStringLiteral("127.0.0.1")});
    p.waitForFinished(600000);
    *exitCode = p.exitCode();
    return double(t.nsecsElapsed()) / 1e6;
}

long peakRssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void resetPeakRss()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void memoryBench()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.eml"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("From: a@example.jp\r\nSubject: big\r\nContent-Type: multipart/mixed; "
                "boundary=B\r\n\r\n"
                "--B\r\nContent-Type: text/plain\r\n\r\nsee attachment\r\n"
                "--B\r\nContent-Type: application/pdf; name=big.pdf\r\nContent-Transfer-Encoding: "
                "base64\r\n\r\n");
        QByteArray chunk(57 * 1000, 'x');
        for (int block = 0; block < 30 * 1024 * 1024 / chunk.size() + 1; ++block) {
            for (int i = 0; i < chunk.size(); ++i)
                chunk[i] = char((block + i * 7) & 0xff);
            const QByteArray b64 = chunk.toBase64();
            for (int i = 0; i < b64.size(); i += 76)
                f.write(b64.mid(i, 76) + "\r\n");
        }
        f.write("--B--\r\n");
    }
    resetPeakRss();
    const long before = peakRssKb();
    QElapsedTimer t;
    t.start();
    const ReadResult r = SystemMailLibrary().ReadMail(path, dir.filePath(QStringLiteral("Attach")));
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const long after = peakRssKb();
    std::printf(
        "ReadMail, 30 MB attachment (%.1f MB file): %.0f ms, peak memory growth %ld KB (%s)\n",
        double(QFile(path).size()) / 1048576.0, ms, after - before,
        r.ok() ? "ok" : qPrintable(r.error));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const qm::test::MailServers s = qm::test::mailServers();
    if (!s.available()) {
        std::fprintf(stderr, "mail servers missing (%s); run through tests/servers/run.sh\n",
                     qPrintable(s.missing));
        return 2;
    }

    QString error;
    if (!qm::test::fillOfficeMailbox(kUser, messages, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    // Let the server index the new mail once, so no contestant pays for it.
    {
        QTemporaryDir warm;
        timeOurs(s.pop3NoApopServer(), warm.path(), messages);
    }

    QList<double> oursFirst, oursSecond, oursTlsFirst, oursTlsSecond, fmFirst, fmSecond;
    for (int round = 0; round < rounds; ++round) {
        {
            QTemporaryDir dir;
            oursFirst << timeOurs(s.pop3NoApopServer(), dir.path(), messages);
            oursSecond << timeOurs(s.pop3NoApopServer(), dir.path(), messages);
        }
        {
            QTemporaryDir dir;
            oursTlsFirst << timeOurs(s.pop3Server(), dir.path(), messages);
            oursTlsSecond << timeOurs(s.pop3Server(), dir.path(), messages);
        }
        {
            QTemporaryDir home;
            QDir(home.path()).mkpath(QStringLiteral("spool"));
            QFile netrc(home.filePath(QStringLiteral(".netrc")));
            netrc.open(QIODevice::WriteOnly);
            netrc.write(QStringLiteral("machine 127.0.0.1 login %1 password %2\n")
                            .arg(kUser, kPassword)
                            .toUtf8());
            netrc.close();
            netrc.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            int code1 = 0, code2 = 0;
            fmFirst << timeFetchmail(home.path(), home.filePath(QStringLiteral("spool")),
                                     s.pop3NoApopPort, &code1);
            const qsizetype got =
                QDir(home.filePath(QStringLiteral("spool"))).entryList(QDir::Files).size();
            fmSecond << timeFetchmail(home.path(), home.filePath(QStringLiteral("spool")),
                                      s.pop3NoApopPort, &code2);
            if (got != messages)
                std::fprintf(stderr, "fetchmail stored %lld of %d messages (exit %d)\n",
                             (long long)got, messages, code1);
        }
    }

    std::printf("Mailbox of %d messages, median of %d rounds (ms):\n", messages, rounds);
    std::printf("  %-44s %10s %10s\n", "", "first", "nothing new");
    std::printf("  %-44s %10.1f %10.1f\n", "RcvMail SAVEALL, plain POP3", median(oursFirst),
                median(oursSecond));
    std::printf("  %-44s %10.1f %10.1f\n", "RcvMail SAVEALL, STARTTLS", median(oursTlsFirst),
                median(oursTlsSecond));
    std::printf("  %-44s %10.1f %10.1f\n", "fetchmail -k --uidl, plain POP3, MDA to files",
                median(fmFirst), median(fmSecond));
    const bool ok = median(oursFirst) <= median(fmFirst) && median(oursSecond) <= median(fmSecond);
    std::printf("Target (ours no slower than fetchmail, same transport): %s\n",
                ok ? "met" : "NOT met");
    // Lines for scripts/bench.sh: case, ours, fetchmail (ms).
    std::printf("TABLE\tPOP3 collection, %d new messages\t%.1f\t%.1f\n", messages,
                median(oursFirst), median(fmFirst));
    std::printf("TABLE\tPOP3 collection, nothing new\t%.1f\t%.1f\n", median(oursSecond),
                median(fmSecond));
    std::printf("TABLE\tPOP3 collection over STARTTLS, %d new\t%.1f\t\n", messages,
                median(oursTlsFirst));
    memoryBench();
    qm::test::emptyMailbox(kUser);
    return 0;
}
