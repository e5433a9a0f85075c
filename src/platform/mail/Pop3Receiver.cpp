// Collects a POP3 mailbox into a work folder and deletes single messages.

#include "data/FolderListing.h"
#include "platform/mail/MailLibrary.h"
#include "platform/mail/MailTransport.h"
#include "platform/mail/MailboxFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cstdio>
#include <memory>

namespace qm::mail {

namespace {

constexpr int kPop3sPort = 995;

class Pop3Session
{
public:
    explicit Pop3Session(const PopAccount& account)
        : m_session(Protocol::Pop3), m_user(account.user.toUtf8()),
          m_password(account.password.toUtf8()), m_apop(account.apop && !account.bearer),
          m_server(account.server), m_automatic(account.security == ConnectionSecurity::Automatic)
    {
        if (!m_session.valid())
            return;
        m_base = m_session.configure(m_server, account.security, account.trust, kPop3sPort);
        if (account.bearer) {
            // SASL as libcurl connects; it sends AUTH XOAUTH2 and the token after the "+".
            m_bearer = true;
            m_token = account.bearer->token.toUtf8();
            CURL* c = m_session.handle();
            curl_easy_setopt(c, CURLOPT_USERNAME, m_user.constData());
            curl_easy_setopt(c, CURLOPT_XOAUTH2_BEARER, m_token.constData());
            curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS,
                             account.bearer->mechanism == BearerMechanism::XOAuth2
                                 ? "AUTH=XOAUTH2"
                                 : "AUTH=OAUTHBEARER");
        } else if (m_apop) {
            CURL* c = m_session.handle();
            curl_easy_setopt(c, CURLOPT_USERNAME, m_user.constData());
            curl_easy_setopt(c, CURLOPT_PASSWORD, m_password.constData());
            curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, "AUTH=+APOP");
        }
    }

    bool valid() const { return m_session.valid(); }

    // An APOP account logs in as libcurl connects. Any other account logs in with USER
    // and PASS: left to itself libcurl would pick SASL or APOP whenever the server offers
    // them, and servers that show an APOP stamp without plain passwords stored refuse that.
    bool login(QString* error)
    {
        if (m_apop || m_bearer)
            return true;
        if (m_user.contains('\r') || m_user.contains('\n') || m_password.contains('\r') ||
            m_password.contains('\n')) {
            *error = QStringLiteral("POP3のユーザー名かパスワードに改行が含まれています");
            return false;
        }
        if (!command("USER " + m_user, error))
            return false;
        // Automatic mode goes on without TLS when the server offers none; the user hears of it.
        m_passwordInClear = m_automatic && !m_session.tlsSeen() && !m_session.onLoopback();
        return command("PASS " + m_password, error);
    }

    bool passwordInClear() const { return m_passwordInClear; }
    std::optional<RefusedCertificate> refusedCertificate() const
    {
        return m_session.refusedCertificate();
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
            m_tokenRefused = m_bearer && rc == CURLE_LOGIN_DENIED;
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

    // The server refused the bearer token as the session logged in.
    bool tokenRefused() const { return m_tokenRefused; }

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
        if (rc == CURLE_LOGIN_DENIED && m_apop && !m_session.greeting().contains(QLatin1Char('<')))
            answer = QStringLiteral("このサーバーは APOP に対応していません");
        return m_session.errorText(rc, answer);
    }

    CurlSession m_session;
    QByteArray m_user;
    QByteArray m_password;
    bool m_apop = false;
    bool m_bearer = false;
    bool m_tokenRefused = false;
    QByteArray m_token;
    QByteArray m_base;
    ServerAddress m_server;
    bool m_automatic = false;
    bool m_passwordInClear = false;
};

// Logs in and lists the mailbox; a refused bearer token is renewed once and tried again.
// The session comes back even when that failed (*ok false): it still tells what it saw of
// the connection's security. nullptr only when none could be made.
std::unique_ptr<Pop3Session> openAndList(const PopAccount& account, QList<UidlEntry>* entries,
                                         QString* error, bool* ok)
{
    *ok = false;
    auto pop = std::make_unique<Pop3Session>(account);
    if (!pop->valid()) {
        *error = QStringLiteral("通信ライブラリを初期化できません");
        return nullptr;
    }
    if (pop->login(error) && pop->list(entries, error)) {
        *ok = true;
        return pop;
    }
    if (!pop->tokenRefused() || !account.bearer->renew)
        return pop;
    PopAccount renewed = account;
    renewed.bearer->token = account.bearer->renew();
    if (renewed.bearer->token.isEmpty())
        return pop;
    auto again = std::make_unique<Pop3Session>(renewed);
    if (!again->valid())
        return pop;
    *ok = again->list(entries, error);
    return again;
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

MailResult saveAll(const PopAccount& account, const QString& dir)
{
    if (!QDir().mkpath(dir))
        return MailResult::message(QStringLiteral("受信フォルダー %1 を作れません").arg(dir));
    QString error;
    QList<UidlEntry> entries;
    bool ok = false;
    const std::unique_ptr<Pop3Session> session = openAndList(account, &entries, &error, &ok);
    if (!session)
        return MailResult::message(error);
    Pop3Session& pop = *session;
    const auto answer = [&pop](MailResult r) {
        r.passwordInClear = pop.passwordInClear();
        r.refusedCertificate = pop.refusedCertificate();
        return r;
    };
    if (!ok)
        return answer(MailResult::message(error));

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
        return answer(MailResult::message(QString()));
    return answer(MailResult::list(paths));
}

} // namespace

MailResult SystemMailLibrary::RcvMail(const PopAccount& account, const QString& folder)
{
    if (!account.server.isValid())
        return MailResult::message(QStringLiteral("POP3サーバーの指定が正しくありません: %1")
                                       .arg(account.server.display()));
    if (folder.isEmpty())
        return MailResult::message(QStringLiteral("受信フォルダーが指定されていません"));
    return saveAll(account, folder);
}

QString SystemMailLibrary::DeleteMail(const PopAccount& account, const QString& messageFile)
{
    const QFileInfo file(messageFile);
    const QString dir = file.absolutePath();
    bool haveList = false;
    QStringList known = readUidlList(dir, &haveList);
    if (!haveList)
        return QStringLiteral("メール %1 を削除しませんでした (受信一覧がありません)")
            .arg(file.fileName());
    QString uidl;
    for (const QString& u : known) {
        if (messageFileName(u) == file.fileName())
            uidl = u;
    }
    if (uidl.isEmpty())
        return QStringLiteral("メール %1 を削除しませんでした (受信一覧にありません)")
            .arg(file.fileName());

    if (!account.server.isValid())
        return QStringLiteral("POP3サーバーの指定が正しくありません: %1")
            .arg(account.server.display());
    QString error;
    QList<UidlEntry> entries;
    bool ok = false;
    const std::unique_ptr<Pop3Session> session = openAndList(account, &entries, &error, &ok);
    if (!session || !ok)
        return error;
    Pop3Session& pop = *session;
    // Found by its UIDL wherever it stands now: positions shift when another client
    // deletes, and deleting by position alone could lose a message nobody has seen.
    for (const UidlEntry& e : entries) {
        if (e.uidl != uidl)
            continue;
        if (!pop.remove(e.position, &error))
            return error;
        known.removeAll(uidl);
        writeUidlList(dir, known);
        return QString();
    }
    // Gone already (another client, or a deletion whose reply was lost): nothing is left to do.
    known.removeAll(uidl);
    writeUidlList(dir, known);
    return QString();
}

} // namespace qm::mail
