#include "MailTestUtil.h"

#include <QDateTime>
#include <QFileInfo>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qm::mail;
using namespace qm::mail::testutil;
using qm::test::ParsedMail;
using qm::test::parseMail;
using qm::test::ReceivedMail;
using qm::test::receivedMails;

namespace {

class SendMailTest : public ::testing::Test
{
protected:
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    // The one mail the server got for `rcpt`.
    static ReceivedMail onlyMailFor(const QString& rcpt)
    {
        const QList<ReceivedMail> mails = receivedMails(rcpt);
        EXPECT_EQ(mails.size(), 1) << rcpt.toStdString();
        return mails.value(0);
    }

    QTemporaryDir m_dir;
};

bool startsWithCode(const QString& text)
{
    return text.size() >= 3 && text.at(0).isDigit() && text.at(1).isDigit() && text.at(2).isDigit();
}

OutgoingMail mailOf(const QString& from, const QStringList& to, const QString& subject,
                    const QString& body, const QStringList& attachments = {})
{
    OutgoingMail m;
    m.from = from;
    m.to = to;
    m.subject = subject;
    m.body = body;
    m.attachments = attachments;
    return m;
}

const SmtpLogin kColon{QStringLiteral("colon"), QStringLiteral("pa:ss:word"),
                       SmtpAuthMethod::Plain};

SendResult send(const QString& hostTabPort, const OutgoingMail& mail,
                std::optional<SmtpLogin> login = std::nullopt)
{
    SmtpServer server;
    server.server = serverAt(hostTabPort, kSmtpDefaultPort);
    server.login = login;
    return SystemMailLibrary().SendMail(server, mail);
}

TEST_F(SendMailTest, JapaneseMailSurvivesTheRoundTripThroughBothServers)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString rcpt = QStringLiteral("roundtrip@example.jp");
    qm::test::clearReceivedMails(rcpt);
    QByteArray binary(70000, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 131) & 0xff);
    const QString pdf = file(QStringLiteral("見積書（第２版）.pdf"), binary);
    const QString txt = file(QStringLiteral("memo.txt"), QByteArray("line1\r\nline2\r\n"));
    const QString subject = QStringLiteral("【転送】見積書の件 ― ご確認ください");
    const QString body =
        QStringLiteral("お世話になっております。\r\n添付のとおりです。\r\n～以上～\r\n");

    const SendResult result = send(
        s.smtpServer(),
        mailOf(QStringLiteral("sender@example.jp"), {rcpt}, subject, body, {pdf, txt}), kColon);
    ASSERT_EQ(result.error, QString());
    const ReceivedMail sent = onlyMailFor(rcpt);
    EXPECT_EQ(sent.authUser, QStringLiteral("colon"));
    EXPECT_EQ(sent.mailFrom, QStringLiteral("sender@example.jp"));

    const QString user = qm::test::userName(87);
    qm::test::emptyMailbox(user);
    QString error;
    ASSERT_FALSE(qm::test::deliverRaw(user, sent.raw, &error).isEmpty()) << error.toStdString();
    const MailResult got = collect(popAccount(s.pop3Server(), user, qm::test::userPassword(87)),
                                   m_dir.filePath(QStringLiteral("MlTmp87")));
    ASSERT_TRUE(got.isList) << got.text.toStdString();
    ASSERT_EQ(got.items.size(), 1);
    const ReadResult read = SystemMailLibrary().ReadMail(
        got.items.first(), m_dir.filePath(QStringLiteral("MlTmp87/Attach")));
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    const ReceivedMessage& back = read.message;
    ASSERT_EQ(back.attachments.size(), 2);
    EXPECT_EQ(back.fromText, QStringLiteral("sender@example.jp"));
    EXPECT_EQ(back.sender.address, QStringLiteral("sender@example.jp"));
    EXPECT_EQ(back.toText, rcpt);
    EXPECT_EQ(back.subject, subject);
    EXPECT_EQ(back.body, body);
    const QString pdfBack = back.attachments.at(0).path;
    EXPECT_EQ(back.attachments.at(0).name, QFileInfo(pdf).fileName());
    EXPECT_EQ(readAll(pdfBack), binary);
    EXPECT_EQ(readAll(back.attachments.at(1).path), QByteArray("line1\r\nline2\r\n"));
}

TEST_F(SendMailTest, HeadersRecipientsAndCharsets)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString to1 = QStringLiteral("to1@example.jp"), to2 = QStringLiteral("to2@example.jp");
    const QString cc = QStringLiteral("cc1@example.jp"), bcc = QStringLiteral("hidden@example.jp");
    for (const QString& r : {to1, to2, cc, bcc})
        qm::test::clearReceivedMails(r);
    OutgoingMail m = mailOf(QStringLiteral("fwd@example.jp"), {to1, to2},
                            QStringLiteral("お知らせ"), QStringLiteral("本文\n"));
    m.cc = QStringList{cc};
    m.bcc = QStringList{bcc};
    m.replyTo = QStringLiteral("山田 太郎 <taro@example.jp>");
    ASSERT_EQ(send(s.smtpServer(), m).error, QString());
    const ReceivedMail sent = onlyMailFor(bcc);
    EXPECT_EQ(sent.authUser, QString()); // no credentials, no AUTH
    EXPECT_EQ(sent.rcptTos, (QStringList{to1, to2, cc, bcc}));
    EXPECT_FALSE(sent.raw.contains("hidden@example.jp"));
    EXPECT_FALSE(sent.raw.contains("\n\n")); // CR LF throughout
    const ParsedMail p = parseMail(sent.raw);
    EXPECT_EQ(p.to, to1 + QStringLiteral(", ") + to2);
    EXPECT_EQ(p.cc, cc);
    EXPECT_EQ(p.replyTo, QStringLiteral("山田 太郎 <taro@example.jp>"));
    EXPECT_EQ(p.from, QStringLiteral("fwd@example.jp"));
    EXPECT_TRUE(p.rawSubject.startsWith("=?ISO-2022-JP?B?")) << p.rawSubject.toStdString();
    const QDateTime date = QDateTime::fromString(p.date, Qt::RFC2822Date);
    EXPECT_LT(std::abs(date.secsTo(QDateTime::currentDateTime())), 120) << p.date.toStdString();
    EXPECT_TRUE(p.messageId.endsWith(QStringLiteral("@example.jp"))) << p.messageId.toStdString();
    EXPECT_EQ(p.subject, QStringLiteral("お知らせ"));
    EXPECT_EQ(p.bodyCharset.toLower(), QStringLiteral("iso-2022-jp"));
    EXPECT_EQ(p.body, QStringLiteral("本文\r\n"));
    EXPECT_TRUE(p.messageId.endsWith(QLatin1String("@example.jp"))) << p.messageId.toStdString();
    EXPECT_FALSE(p.date.isEmpty());

    // Half-width katakana and circled numbers do not fit ISO-2022-JP; a 3,000-character
    // line does not fit 7bit. Both must still arrive intact.
    const QString odd = QStringLiteral("ｶﾀｶﾅ①");
    const QString longLine(3000, QChar(0x3042));
    const QString rcpt = QStringLiteral("charset@example.jp");
    qm::test::clearReceivedMails(rcpt);
    ASSERT_EQ(
        send(s.smtpServer(), mailOf(QStringLiteral("fwd@example.jp"), {rcpt}, odd, odd)).error,
        QString());
    ASSERT_EQ(send(s.smtpServer(), mailOf(QStringLiteral("fwd@example.jp"), {rcpt},
                                          QStringLiteral("長い"), longLine))
                  .error,
              QString());
    const QList<ReceivedMail> mails = receivedMails(rcpt);
    ASSERT_EQ(mails.size(), 2);
    const ParsedMail utf8 = parseMail(mails.at(0).raw);
    EXPECT_EQ(utf8.subject, odd);
    EXPECT_EQ(utf8.body, odd);
    EXPECT_EQ(utf8.bodyCharset.toLower(), QStringLiteral("utf-8"));
    const ParsedMail longMail = parseMail(mails.at(1).raw);
    EXPECT_EQ(longMail.body, longLine);
    for (const QByteArray& line : mails.at(1).raw.split('\n'))
        EXPECT_LE(line.size(), 999);
}

// The office converters and the fax pick attachments by type going out and by extension
// coming in: both must stay what mailers use, whatever the system's type database says.
TEST_F(SendMailTest, AttachmentTypesBothWays)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QList<std::pair<QString, QString>> types{
        {QStringLiteral("doc"), QStringLiteral("application/msword")},
        {QStringLiteral("docx"),
         QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document")},
        {QStringLiteral("xls"), QStringLiteral("application/vnd.ms-excel")},
        {QStringLiteral("xlsx"),
         QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")},
        {QStringLiteral("pdf"), QStringLiteral("application/pdf")},
        {QStringLiteral("tif"), QStringLiteral("image/tiff")},
        {QStringLiteral("jpg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("png"), QStringLiteral("image/png")},
        {QStringLiteral("gif"), QStringLiteral("image/gif")},
        {QStringLiteral("txt"), QStringLiteral("text/plain")},
        {QStringLiteral("zip"), QStringLiteral("application/zip")},
        // A stored mail may not be base64 encoded as message/rfc822: it goes as a file.
        {QStringLiteral("eml"), QStringLiteral("application/octet-stream")}};
    QStringList files;
    QByteArray nameless = "From: a@example.jp\r\nSubject: types\r\nContent-Type: multipart/mixed; "
                          "boundary=B\r\n\r\n--B\r\nContent-Type: text/plain\r\n\r\nbody\r\n";
    for (const auto& [ext, type] : types) {
        files << file(QStringLiteral("a.") + ext.toUpper(), ext.toLatin1());
        if (ext != u"eml")
            nameless += "--B\r\nContent-Type: " + type.toLatin1() +
                        "\r\nContent-Disposition: attachment\r\n\r\nx\r\n";
    }
    const QString rcpt = QStringLiteral("types@example.jp");
    qm::test::clearReceivedMails(rcpt);
    ASSERT_EQ(send(s.smtpServer(), mailOf(QStringLiteral("fwd@example.jp"), {rcpt},
                                          QStringLiteral("types"), QStringLiteral("body"), files))
                  .error,
              QString());
    const ParsedMail sent = parseMail(onlyMailFor(rcpt).raw);
    ASSERT_EQ(sent.attachments.size(), types.size());
    for (qsizetype i = 0; i < types.size(); ++i)
        EXPECT_EQ(sent.attachments.at(i).contentType, types.at(i).second) << i;

    nameless += "--B--\r\n";
    const ReadResult read = SystemMailLibrary().ReadMail(
        file(QStringLiteral("nameless.eml"), nameless), m_dir.filePath(QStringLiteral("Attach")));
    ASSERT_TRUE(read.ok()) << read.error.toStdString();
    ASSERT_EQ(read.message.attachments.size(), types.size() - 1);
    for (qsizetype i = 0; i + 1 < types.size(); ++i)
        EXPECT_EQ(QFileInfo(read.message.attachments.at(i).path).suffix(), types.at(i).first);
}

TEST_F(SendMailTest, AuthenticationMethodsAndRefusals)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString rcpt = QStringLiteral("auth@example.jp");
    qm::test::clearReceivedMails(rcpt);
    const OutgoingMail plain =
        mailOf(QStringLiteral("me@example.jp"), {rcpt}, QStringLiteral("s"), QStringLiteral("b"));
    for (const SmtpAuthMethod method :
         {SmtpAuthMethod::Plain, SmtpAuthMethod::Login, SmtpAuthMethod::CramMd5}) {
        SmtpLogin login = kColon;
        login.method = method;
        EXPECT_EQ(send(s.smtpServer(), plain, login).error, QString()) << int(method);
        login.password = QStringLiteral("wrong");
        const QString refused = send(s.smtpServer(), plain, login).error;
        EXPECT_TRUE(refused.startsWith(QLatin1String("535")))
            << int(method) << ": " << refused.toStdString();
    }
    const QList<ReceivedMail> mails = receivedMails(rcpt);
    ASSERT_EQ(mails.size(), 3);
    for (const ReceivedMail& m : mails)
        EXPECT_EQ(m.authUser, QStringLiteral("colon"));

    const QString r521 =
        send(s.smtpServer(), mailOf(QStringLiteral("someone@") + s.refusedDomain, {rcpt},
                                    QStringLiteral("s"), QStringLiteral("b")))
            .error;
    EXPECT_TRUE(r521.startsWith(QLatin1String("521"))) << r521.toStdString();
    EXPECT_TRUE(r521.contains(QString::number(s.smtpPort))) << r521.toStdString();
    EXPECT_EQ(receivedMails(rcpt).size(), 3);

    OutgoingMail missing = plain;
    missing.attachments = QStringList{m_dir.filePath(QStringLiteral("gone.pdf"))};
    EXPECT_FALSE(send(s.smtpServer(), missing).error.isEmpty());
    EXPECT_EQ(receivedMails(rcpt).size(), 3);
    OutgoingMail nobody = plain;
    nobody.to.clear();
    EXPECT_FALSE(send(s.smtpServer(), nobody).error.isEmpty());
}

// Mails that follow each other share a connection only with the same server and login: a
// reply without login never goes out on a connection logged in for a forward, nor one mail
// under another login; after a refusal the next mail still goes.
TEST_F(SendMailTest, AKeptConnectionServesOnlyItsOwnLogin)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString rcpt = QStringLiteral("kept@example.jp");
    qm::test::clearReceivedMails(rcpt);
    SystemMailLibrary library;
    const auto at = [&](std::optional<SmtpLogin> login) {
        SmtpServer server;
        server.server = serverAt(s.smtpServer(), kSmtpDefaultPort);
        server.login = std::move(login);
        return server;
    };
    const SmtpServer colon = at(kColon);
    const SmtpServer anonymous = at(std::nullopt);
    const SmtpServer other =
        at(SmtpLogin{qm::test::userName(26), qm::test::userPassword(26), SmtpAuthMethod::Login});
    const OutgoingMail mail = mailOf(QStringLiteral("fwd@example.jp"), {rcpt}, QStringLiteral("s"),
                                     QStringLiteral("b\r\n"));
    OutgoingMail nobody = mail;
    nobody.to = QStringList{QStringLiteral("left@") + s.unknownDomain};
    for (const SmtpServer* server : {&colon, &colon, &anonymous, &other, &colon})
        EXPECT_EQ(library.SendMail(*server, mail).error, QString());
    EXPECT_TRUE(library.SendMail(colon, nobody).error.startsWith(QLatin1String("550")));
    EXPECT_EQ(library.SendMail(colon, mail).error, QString());

    QStringList users;
    for (const ReceivedMail& m : receivedMails(rcpt))
        users << m.authUser;
    EXPECT_EQ(users, (QStringList{QStringLiteral("colon"), QStringLiteral("colon"), QString(),
                                  qm::test::userName(26), QStringLiteral("colon"),
                                  QStringLiteral("colon")}));
}

TEST_F(SendMailTest, RefusedRecipientsAreNamedAndTheOthersStillGetTheMail)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString good = QStringLiteral("still-here@example.jp");
    const QString gone = QStringLiteral("left@") + s.unknownDomain;
    const QString goneCc = QStringLiteral("also-left@") + s.unknownDomain;
    qm::test::clearReceivedMails(good);
    OutgoingMail m = mailOf(QStringLiteral("fwd@example.jp"), {gone, good}, QStringLiteral("件名"),
                            QStringLiteral("本文"));
    m.cc = QStringList{goneCc};

    const SendResult result = send(s.smtpServer(), m);
    EXPECT_EQ(result.error, QString());
    ASSERT_EQ(result.refused.size(), 2) << result.refused.join(u'|').toStdString();
    EXPECT_TRUE(result.refused.at(0).startsWith(gone + QStringLiteral(": 550")))
        << result.refused.at(0).toStdString();
    EXPECT_TRUE(result.refused.at(1).startsWith(goneCc + QStringLiteral(": 550")));
    EXPECT_EQ(onlyMailFor(good).rcptTos, QStringList{good});

    // Nobody left to take it: the send is refused as a whole, with the server's code.
    m.to = QStringList{gone};
    const SendResult none = send(s.smtpServer(), m);
    EXPECT_TRUE(none.error.startsWith(QLatin1String("550"))) << none.error.toStdString();
}

TEST_F(SendMailTest, TlsRulesAndDeadServers)
{
    QM_REQUIRE_MAIL_SERVERS(s);
    const QString rcpt = QStringLiteral("tls@example.jp");
    {
        EnvGuard ca("QM_CA_FILE", s.otherCaFile.toLocal8Bit());
        const QString r = send(s.smtpServer(), mailOf(QStringLiteral("me@example.jp"), {rcpt},
                                                      QStringLiteral("s"), QStringLiteral("b")))
                              .error;
        EXPECT_TRUE(r.contains(QStringLiteral("証明書"))) << r.toStdString();
        EXPECT_FALSE(startsWithCode(r));
        // The step that failed, not the good reply before it ("220 TLS go ahead").
        EXPECT_TRUE(r.contains(QStringLiteral("手順: 暗号化の開始 (STARTTLS)"))) << r.toStdString();
        EXPECT_FALSE(r.contains(QStringLiteral("サーバーの応答"))) << r.toStdString();
        EXPECT_FALSE(r.contains(QStringLiteral("220"))) << r.toStdString();
    }
    if (s.stdPortsHost.isEmpty()) {
        if (qm::test::runningInCi())
            ADD_FAILURE() << "QM_MAIL_STD_PORTS_HOST missing: the servers need root for port 465";
    } else {
        const QString smtps = s.stdPortsHost + QStringLiteral("\t465");
        SmtpLogin login = kColon;
        login.method = SmtpAuthMethod::CramMd5;
        EXPECT_EQ(send(smtps,
                       mailOf(QStringLiteral("me@example.jp"), {rcpt}, QStringLiteral("s"),
                              QStringLiteral("b")),
                       login)
                      .error,
                  QString());
    }

    TimeoutGuard short_({2, 2});
    const int lone = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(lone, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(lone, reinterpret_cast<sockaddr*>(&addr), &len);
    const QString dead = QStringLiteral("127.0.0.1\t%1").arg(ntohs(addr.sin_port));
    const OutgoingMail plain =
        mailOf(QStringLiteral("me@example.jp"), {rcpt}, QStringLiteral("s"), QStringLiteral("b"));
    const QString closed = send(dead, plain).error;
    EXPECT_TRUE(closed.contains(QStringLiteral("接続できません"))) << closed.toStdString();
    EXPECT_FALSE(startsWithCode(closed));
    // In Japanese what to do, libcurl's own words at the end, no comma the log would drop.
    EXPECT_TRUE(closed.contains(QStringLiteral("ポート番号"))) << closed.toStdString();
    EXPECT_TRUE(closed.contains(QStringLiteral("手順: 接続 ("))) << closed.toStdString();
    EXPECT_TRUE(closed.endsWith(u')')) << closed.toStdString();
    EXPECT_FALSE(closed.left(closed.indexOf(QStringLiteral(" ("))).contains(u','));
    ASSERT_EQ(::listen(lone, 4), 0);
    const QString silent = send(dead, plain).error;
    EXPECT_FALSE(silent.isEmpty());
    EXPECT_FALSE(startsWithCode(silent));
    ::close(lone);
}

} // namespace
