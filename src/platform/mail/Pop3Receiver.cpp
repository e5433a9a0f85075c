// RcvMail: collects a POP3 mailbox into a work folder and deletes single messages.

#include "data/FolderListing.h"
#include "platform/mail/MailLibrary.h"
#include "platform/mail/MailTransport.h"
#include "platform/mail/MailboxFiles.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <cstdio>

namespace qm::mail {

namespace {

constexpr int kPop3sPort = 995;

struct Pop3Login
{
    QByteArray user;
    QByteArray password;
    bool apop = false;
};

Pop3Login makeLogin(const QString& user, const QString& password)
{
    Pop3Login l;
    l.user = user.toUtf8();
    if (password.startsWith(QLatin1String("a "))) {
        l.apop = true;
        l.password = password.mid(2).toUtf8();
    } else {
        l.password = password.toUtf8();
    }
    return l;
}

class Pop3Session
{
public:
    Pop3Session(const ServerAddress& server, const Pop3Login& login)
        : m_session(Protocol::Pop3), m_login(login), m_server(server)
    {
        if (!m_session.valid())
            return;
        m_base = m_session.configure(server, server.port == kPop3sPort);
        if (m_login.apop) {
            CURL* c = m_session.handle();
            curl_easy_setopt(c, CURLOPT_USERNAME, m_login.user.constData());
            curl_easy_setopt(c, CURLOPT_PASSWORD, m_login.password.constData());
            curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, "AUTH=+APOP");
        }
    }

    bool valid() const { return m_session.valid(); }

    // An APOP account logs in as libcurl connects. Any other account logs in with USER
    // and PASS: left to itself libcurl would pick SASL or APOP whenever the server offers
    // them, and servers that show an APOP stamp without plain passwords stored refuse that.
    bool login(QString* error)
    {
        if (m_login.apop)
            return true;
        if (m_login.user.contains('\r') || m_login.user.contains('\n') ||
            m_login.password.contains('\r') || m_login.password.contains('\n')) {
            *error = QStringLiteral("POP3のユーザー名かパスワードに改行が含まれています");
            return false;
        }
        return command("USER " + m_login.user, error) && command("PASS " + m_login.password, error);
    }

    // UIDL of the whole mailbox.
    bool list(QList<UidlEntry>* entries, QString* error)
    {
        QByteArray listing;
        CURL* c = m_session.handle();
        curl_easy_setopt(c, CURLOPT_URL, (m_base + '/').constData());
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "UIDL");
        curl_easy_setopt(c, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &writeToBuffer);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &listing);
        const CURLcode rc = m_session.perform();
        if (rc != CURLE_OK) {
            *error = failure(rc);
            return false;
        }
        if (!parseUidlListing(listing, entries)) {
            *error = QStringLiteral("POP3サーバー %1 の UIDL 応答を解釈できません")
                         .arg(m_server.display());
            return false;
        }
        return true;
    }

    bool retrieve(int position, std::FILE* out, QString* error)
    {
        CURL* c = m_session.handle();
        const QByteArray url = m_base + '/' + QByteArray::number(position);
        curl_easy_setopt(c, CURLOPT_URL, url.constData());
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(c, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &writeToFile);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, out);
        const CURLcode rc = m_session.perform();
        if (rc != CURLE_OK) {
            *error = failure(rc);
            return false;
        }
        return true;
    }

    bool remove(int position, QString* error)
    {
        return command("DELE " + QByteArray::number(position), error);
    }

private:
    // A command answered by one status line.
    bool command(const QByteArray& text, QString* error)
    {
        CURL* c = m_session.handle();
        curl_easy_setopt(c, CURLOPT_URL, (m_base + '/').constData());
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, text.constData());
        // Without NOBODY libcurl would wait for a listing that never comes.
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        const CURLcode rc = m_session.perform();
        if (rc == CURLE_OK)
            return true;
        const bool refused = rc == CURLE_WEIRD_SERVER_REPLY &&
                             !m_session.lastReplyStartingWith(QStringLiteral("-ERR")).isEmpty();
        const bool loggingIn = text.startsWith("USER ") || text.startsWith("PASS ");
        *error = failure(refused && loggingIn ? CURLE_LOGIN_DENIED : rc);
        return false;
    }

    QString failure(CURLcode rc) const
    {
        QString answer = m_session.lastReplyStartingWith(QStringLiteral("-ERR"));
        if (rc == CURLE_LOGIN_DENIED && m_login.apop &&
            !m_session.greeting().contains(QLatin1Char('<')))
            answer = QStringLiteral("このサーバーは APOP に対応していません");
        return m_session.errorText(rc, answer);
    }

    CurlSession m_session;
    Pop3Login m_login;
    QByteArray m_base;
    ServerAddress m_server;
};

QString folderFromArgument(const QString& folder)
{
    QString dir = folder;
    while (dir.endsWith(QLatin1Char('>')))
        dir.chop(1);
    return dir;
}

void pruneGoneMessages(const QString& dir, const QSet<QString>& present, const QSet<QString>& keep)
{
    QDir d(dir);
    for (const QString& name : present) {
        const bool leftoverPart =
            name.startsWith(QLatin1Char('.')) && name.endsWith(QLatin1String(".part"));
        if (leftoverPart || (isMessageFileName(name) && !keep.contains(name)))
            d.remove(name);
    }
}

MailResult saveAll(const ServerAddress& server, const Pop3Login& login, const QString& dir)
{
    if (!QDir().mkpath(dir))
        return MailResult::message(QStringLiteral("受信フォルダー %1 を作れません").arg(dir));
    Pop3Session pop(server, login);
    if (!pop.valid())
        return MailResult::message(QStringLiteral("通信ライブラリを初期化できません"));

    QString error;
    QList<UidlEntry> entries;
    if (!pop.login(&error) || !pop.list(&entries, &error))
        return MailResult::message(error);

    QStringList paths;
    QStringList uidls;
    QSet<QString> names;
    const QDir d(dir);
    const QString base = d.absolutePath() + QLatin1Char('/');
    const QSet<QString> present = fileNamesIn(dir);
    for (const UidlEntry& e : entries) {
        const QString name = messageFileName(e.uidl);
        const QString path = base + name;
        uidls << e.uidl;
        names.insert(name);
        paths << path;
        if (present.contains(name))
            continue; // kept from an earlier collection: the same message, not fetched again
        const QString part = d.filePath(QLatin1Char('.') + name + QStringLiteral(".part"));
        std::FILE* out = std::fopen(QFile::encodeName(part).constData(), "wb");
        if (!out)
            return MailResult::message(
                QStringLiteral("受信したメールを %1 に保存できません").arg(dir));
        const bool ok = pop.retrieve(e.position, out, &error);
        const bool closed = std::fclose(out) == 0;
        if (!ok || !closed ||
            std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) !=
                0) {
            QFile::remove(part);
            return MailResult::message(
                ok ? QStringLiteral("受信したメールを %1 に保存できません").arg(dir) : error);
        }
    }
    if (!writeUidlList(dir, uidls, &error))
        return MailResult::message(QStringLiteral("受信一覧を保存できません: %1").arg(error));
    pruneGoneMessages(dir, present, names);
    if (paths.isEmpty())
        return MailResult::message(QString());
    return MailResult::list(paths);
}

MailResult deleteAt(const ServerAddress& server, const Pop3Login& login, const QString& dir,
                    int position)
{
    bool haveList = false;
    QStringList known = readUidlList(dir, &haveList);
    if (!haveList)
        return MailResult::message(
            QStringLiteral("%1 番目のメールを削除しませんでした (受信一覧がありません)")
                .arg(position));
    if (position > known.size())
        return MailResult::message(
            QStringLiteral("%1 番目のメールを削除しませんでした (前回の受信一覧は %2 通です)")
                .arg(position)
                .arg(known.size()));
    const QString expected = known.at(position - 1);

    Pop3Session pop(server, login);
    if (!pop.valid())
        return MailResult::message(QStringLiteral("通信ライブラリを初期化できません"));
    QString error;
    QList<UidlEntry> entries;
    if (!pop.login(&error) || !pop.list(&entries, &error))
        return MailResult::message(error);
    QString actual;
    for (const UidlEntry& e : entries) {
        if (e.position == position)
            actual = e.uidl;
    }
    // Positions shift when another client deletes; deleting by position alone could lose
    // a message nobody has seen.
    if (actual != expected)
        return MailResult::message(
            QStringLiteral("POP3サーバー %1 の %2 番目のメールが受信時と違うため削除しませんでした")
                .arg(server.display())
                .arg(position));
    if (!pop.remove(position, &error))
        return MailResult::message(error);
    known.removeAt(position - 1);
    writeUidlList(dir, known);
    return MailResult::message(QString());
}

} // namespace

MailResult RcvMail(const QString& server, const QString& user, const QString& password,
                   const QString& command, const QString& folder)
{
    ServerAddress address;
    if (!parseServerAddress(server, kPop3DefaultPort, &address))
        return MailResult::message(
            QStringLiteral("POP3サーバーの指定が正しくありません: %1").arg(server));
    const QString dir = folderFromArgument(folder);
    if (dir.isEmpty())
        return MailResult::message(QStringLiteral("受信フォルダーが指定されていません"));
    const Pop3Login login = makeLogin(user, password);
    const QString cmd = command.trimmed();
    if (cmd == QLatin1String("SAVEALL"))
        return saveAll(address, login, dir);
    if (cmd.startsWith(QLatin1String("DELE "))) {
        bool ok = false;
        const int position = cmd.mid(5).trimmed().toInt(&ok);
        if (!ok || position < 1)
            return MailResult::message(
                QStringLiteral("削除するメールの番号が正しくありません: %1").arg(command));
        return deleteAt(address, login, dir, position);
    }
    return MailResult::message(QStringLiteral("受信コマンドが正しくありません: %1").arg(command));
}

} // namespace qm::mail
