#include "MailTestUtil.h"
#include "platform/mail/JapaneseText.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <fcntl.h>
#include <future>
#include <glib.h>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace qm::mail;
using namespace qm::mail::testutil;

namespace {
ReadResult ReadMail(const QString& file, const QString& attachmentFolder)
{
    return SystemMailLibrary().ReadMail(file, attachmentFolder);
}
} // namespace

namespace {

class ReadMailTest : public ::testing::Test
{
protected:
    QString write(const QByteArray& raw, const QString& name = QStringLiteral("m.eml"))
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(raw);
        return path;
    }
    QString attachDir() const { return m_dir.filePath(QStringLiteral("Attach")); }

    ReadResult read(const QByteArray& raw)
    {
        return ReadMail(write(raw, QStringLiteral("m%1.eml").arg(m_count++)), attachDir());
    }

    static QStringList files(const ReadResult& r)
    {
        QStringList out;
        for (const ReceivedAttachment& a : r.message.attachments) {
            EXPECT_EQ(a.name, QFileInfo(a.path).fileName());
            out << a.path;
        }
        return out;
    }

    QTemporaryDir m_dir;
    int m_count = 0;
};

QByteArray sjis(const QString& s)
{
    return QStringEncoder("Shift_JIS").encode(s);
}
QByteArray eucjp(const QString& s)
{
    return QStringEncoder("EUC-JP").encode(s);
}
QByteArray jis(const QString& s)
{
    return QStringEncoder("ISO-2022-JP").encode(s);
}

TEST_F(ReadMailTest, ComposedJapaneseMailGivesFieldsBodyAndAttachments)
{
    qm::test::ComposedMail m;
    m.from = QStringLiteral("山田 太郎 <taro@example.jp>");
    m.to = {QStringLiteral("office@example.jp")};
    m.cc = {QStringLiteral("経理 <keiri@example.jp>")};
    m.subject = QStringLiteral("見積書の送付について（再送）");
    m.body = QStringLiteral("お世話になっております。\n見積書を送ります。\n");
    const QByteArray pdf("%PDF-1.4\x00\x01\x02\xff binary", 24);
    m.attachments = {
        {QStringLiteral("見積書 2026年12月.pdf"), pdf, QStringLiteral("application/pdf")},
        {QStringLiteral("memo.txt"), QByteArray("plain\r\nmemo"), QStringLiteral("text/plain")}};
    const ReadResult r = read(qm::test::composeMail(m));
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    ASSERT_EQ(r.message.attachments.size(), 2);
    EXPECT_EQ(r.message.date, QStringLiteral("Mon, 07 Dec 2026 10:00:00 +0900"));
    EXPECT_EQ(r.message.sent, QDateTime(QDate(2026, 12, 7), QTime(1, 0), Qt::UTC));
    EXPECT_EQ(r.message.sender.address, QStringLiteral("taro@example.jp"));
    EXPECT_EQ(r.message.sender.name, QStringLiteral("山田 太郎"));
    EXPECT_EQ(r.message.fromText, QStringLiteral("山田 太郎 <taro@example.jp>"));
    EXPECT_EQ(r.message.toText, QStringLiteral("office@example.jp"));
    EXPECT_EQ(r.message.ccText, QStringLiteral("経理 <keiri@example.jp>"));
    EXPECT_EQ(r.message.subject, m.subject);
    EXPECT_EQ(r.message.body, QStringLiteral("お世話になっております。\r\n見積書を送ります。\r\n"));
    const QStringList paths = files(r);
    EXPECT_EQ(QFileInfo(paths.at(0)).fileName(), QStringLiteral("見積書 2026年12月.pdf"));
    EXPECT_EQ(QFileInfo(paths.at(0)).absolutePath(), QFileInfo(attachDir()).absoluteFilePath());
    EXPECT_EQ(readAll(paths.at(0)), pdf);
    EXPECT_EQ(readAll(paths.at(1)), QByteArray("plain\r\nmemo"));
}

TEST_F(ReadMailTest, JapaneseCharsetsAsMailersReallySendThem)
{
    const QString text = QStringLiteral("①納品～完了㈱ テスト");
    struct Case
    {
        const char* what;
        QByteArray subjectHeader;
        QByteArray contentType;
        QByteArray body;
        QString expectSubject;
        QString expectBody;
    };
    const QList<Case> cases{
        {"Shift_JIS words and body with NEC and tilde characters",
         "=?Shift_JIS?B?" + sjis(text).toBase64() + "?=", "text/plain; charset=Shift_JIS",
         sjis(text), text, text},
        {"ISO-2022-JP with NEC special characters",
         "=?ISO-2022-JP?B?" + jis(QStringLiteral("①の件")).toBase64() + "?=",
         "text/plain; charset=ISO-2022-JP", jis(QStringLiteral("①あ")), QStringLiteral("①の件"),
         QStringLiteral("①あ")},
        {"EUC-JP Q word",
         "=?EUC-JP?Q?" + eucjp(QStringLiteral("日本")).toPercentEncoding().replace('%', '=') + "?=",
         "text/plain; charset=EUC-JP", eucjp(QStringLiteral("本文")), QStringLiteral("日本"),
         QStringLiteral("本文")},
        {"UTF-8 character split across two words",
         "=?UTF-8?B?" + QByteArray("\xe6\x97").toBase64() + "?= =?UTF-8?B?" +
             QByteArray("\xa5\xe6\x9c\xac").toBase64() + "?=",
         "text/plain; charset=UTF-8", QStringLiteral("ユー").toUtf8(), QStringLiteral("日本"),
         QStringLiteral("ユー")},
        {"raw 8-bit Shift_JIS header and unlabelled body", sjis(QStringLiteral("生の件名")), "",
         sjis(QStringLiteral("生の本文")), QStringLiteral("生の件名"), QStringLiteral("生の本文")},
        {"EUC-JP body labelled ISO-8859-1", "plain", "text/plain; charset=iso-8859-1",
         eucjp(QStringLiteral("誤ラベル")), QStringLiteral("plain"), QStringLiteral("誤ラベル")},
        // Carrier emoji sit in codes no standard assigned; each becomes one mark.
        {"au: ISO-2022-JP emoji in an unassigned row",
         "=?iso-2022-jp?B?GyRCQmpMPnZeGyhC?=", "text/plain; charset=iso-2022-jp",
         "\x1b$BK\\J8v}v}\x1b(B", QStringLiteral("題名〓"), QStringLiteral("本文〓〓")},
        {"docomo: Shift_JIS emoji", "=?shift_jis?B?g2WDWINn+ZE=?=", "text/plain; charset=Shift_JIS",
         sjis(QStringLiteral("テスト")) + "\xf9\xd2", QStringLiteral("テスト〓"),
         QStringLiteral("テスト〓")},
        {"EUC-JP code in an unassigned row",
         "=?EUC-JP?B?" + (eucjp(QStringLiteral("件")) + "\xa9\xa1").toBase64() + "?=",
         "text/plain; charset=EUC-JP",
         eucjp(QStringLiteral("本")) + "\xa9\xa1" + eucjp(QStringLiteral("文")),
         QStringLiteral("件〓"), QStringLiteral("本〓文")},
        {"mixed plain text and words",
         "Re: =?UTF-8?B?" + QStringLiteral("会議").toUtf8().toBase64() + "?= (2)", "text/plain",
         "ascii", QStringLiteral("Re: 会議 (2)"), QStringLiteral("ascii")},
    };
    for (const Case& c : cases) {
        QByteArray raw = "From: a@example.jp\r\nSubject: " + c.subjectHeader + "\r\n";
        if (!c.contentType.isEmpty())
            raw += "Content-Type: " + c.contentType + "\r\n";
        raw += "\r\n" + c.body;
        const ReadResult r = read(raw);
        ASSERT_TRUE(r.ok()) << c.what << ": " << r.error.toStdString();
        EXPECT_EQ(r.message.subject, c.expectSubject) << c.what;
        EXPECT_EQ(r.message.body, c.expectBody) << c.what;
    }
}

// Netscape and scanners name the only text part; it is still the body. After the body, a
// named text part is a file.
TEST_F(ReadMailTest, ANamedInlineTextIsTheBodyUnlessABodyCameFirst)
{
    const ReadResult single =
        read("From: a@example.jp\r\nSubject: scan\r\n"
             "Content-Type: text/plain; charset=us-ascii; name=\"scan.txt\"\r\n"
             "Content-Disposition: inline; filename=\"scan.txt\"\r\n\r\n"
             "the text\r\n");
    ASSERT_TRUE(single.ok()) << single.error.toStdString();
    EXPECT_EQ(single.message.body, QStringLiteral("the text\r\n"));
    EXPECT_TRUE(files(single).isEmpty());

    const ReadResult two = read("From: a@example.jp\r\nSubject: two\r\nMIME-Version: 1.0\r\n"
                                "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                                "Content-Type: text/plain\r\n\r\nbody\r\n--b\r\n"
                                "Content-Type: text/plain\r\n"
                                "Content-Disposition: inline; filename=notes.txt\r\n\r\n"
                                "notes\r\n--b--\r\n");
    ASSERT_TRUE(two.ok()) << two.error.toStdString();
    EXPECT_EQ(two.message.body, QStringLiteral("body"));
    ASSERT_EQ(files(two).size(), 1);
    EXPECT_EQ(QFileInfo(files(two).at(0)).fileName(), QStringLiteral("notes.txt"));
}

TEST_F(ReadMailTest, AlternativeTakesPlainTextAndHtmlOnlyBecomesText)
{
    const QByteArray alt = "From: a@example.jp\r\nSubject: alt\r\nContent-Type: "
                           "multipart/alternative; boundary=XX\r\n\r\n"
                           "--XX\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<p>HTML版</p>\r\n"
                           "--XX\r\nContent-Type: text/plain; "
                           "charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                           "=E3=83=86=E3=82=AD=E3=82=B9=E3=83=88=E7=89=88\r\n--XX--\r\n";
    ReadResult r = read(alt);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    // The line break before a boundary belongs to the boundary.
    EXPECT_EQ(r.message.body, QStringLiteral("テキスト版"));
    EXPECT_TRUE(r.message.attachments.isEmpty());

    const QByteArray html =
        "From: a@example.jp\r\nSubject: html\r\nContent-Type: text/html\r\n\r\n"
        "<html><head><meta charset=\"Shift_JIS\"><style>p{color:red}</style></head><body>" +
        sjis(QStringLiteral("<p>一行目<br>二行目</p><script>alert(1)</script><p>A &amp; B "
                            "&lt;x&gt; &#x3042;&#12354;</p>")) +
        "</body></html>";
    r = read(html);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.message.body, QStringLiteral("一行目\r\n二行目\r\nA & B <x> ああ"));

    // A style sheet or picture the HTML names is never read: a pipe would block the reader.
    const QString fifo = m_dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray link = "<link rel=\"stylesheet\" href=\"" + QFile::encodeName(fifo) + "\">";
    auto reading = std::async(std::launch::async, [&] {
        return read(
            "From: a@example.jp\r\nSubject: html\r\nContent-Type: text/html\r\n\r\n<html><head>" +
            link + "</head><body>" + link + "<p style=\"background-image:url(" +
            QFile::encodeName(fifo) + ")\">text<img src=\"" + QFile::encodeName(fifo) +
            "\"></p></body></html>");
    });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK)); // let it go
        FAIL() << "the reader opened a file the HTML named";
    }
    r = reading.get();
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.message.body, QStringLiteral("text"));
}

TEST_F(ReadMailTest, AttachmentNamesNeverChooseThePathNorOverwrite)
{
    const QStringList hostile{QStringLiteral("../../escape.txt"),
                              QStringLiteral("..\\..\\win.exe"),
                              QStringLiteral("/etc/passwd"),
                              QStringLiteral(".."),
                              QStringLiteral("a\x01\x1b[31mb.txt"),
                              QStringLiteral("x\u202Etxt.exe"),
                              QString(300, QChar(0x3042)) + QStringLiteral(".pdf"),
                              QString(),
                              QStringLiteral("same.txt"),
                              QStringLiteral("same.txt")};
    QStringList paths;
    for (int i = 0; i < hostile.size(); ++i) {
        qm::test::ComposedMail m;
        m.from = QStringLiteral("a@example.jp");
        m.subject = QStringLiteral("n%1").arg(i);
        m.body = QStringLiteral("b");
        m.attachments = {
            {hostile.at(i), QByteArray::number(i), QStringLiteral("application/octet-stream")}};
        const ReadResult r = read(qm::test::composeMail(m));
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        ASSERT_EQ(files(r).size(), 1) << i;
        paths << files(r).first();
    }
    const QString home = QFileInfo(attachDir()).absoluteFilePath();
    for (int i = 0; i < paths.size(); ++i) {
        const QFileInfo fi(paths.at(i));
        EXPECT_EQ(fi.absolutePath(), home) << paths.at(i).toStdString();
        EXPECT_FALSE(fi.fileName().startsWith(QLatin1Char('.'))) << paths.at(i).toStdString();
        EXPECT_LE(fi.fileName().size(), 100);
        for (const QChar c : fi.fileName())
            EXPECT_GE(c.unicode(), 0x20) << paths.at(i).toStdString();
        EXPECT_EQ(readAll(paths.at(i)), QByteArray::number(i))
            << "overwritten: " << paths.at(i).toStdString();
    }
    EXPECT_EQ(QFileInfo(paths.at(0)).fileName(), QStringLiteral("escape.txt"));
    EXPECT_TRUE(QFileInfo(paths.at(6)).fileName().endsWith(QLatin1String(".pdf")));
    EXPECT_NE(paths.at(8), paths.at(9));
    EXPECT_EQ(QDir(attachDir()).entryList(QDir::Files | QDir::Hidden).size(), hostile.size());
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("escape.txt"))));
}

TEST_F(ReadMailTest, DamagedMailIsReadAsFarAsPossible)
{
    // Broken base64, RFC 2231 continuation name, an inline image without a name.
    const QByteArray raw =
        "From: a@example.jp\r\nSubject: damaged\r\nContent-Type: multipart/mixed; "
        "boundary=B\r\n\r\n"
        "--B\r\n\r\nno content type here\r\n"
        "--B\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment;\r\n"
        " filename*0*=UTF-8''%E5%A0%B1%E5%91%8A;\r\n filename*1=.bin\r\nContent-Transfer-Encoding: "
        "base64\r\n\r\n"
        "SGVsbG8g!!!V29y\r\nbGQ=\r\n"
        "--B\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: "
        "base64\r\n\r\niVBORw0KGgo=\r\n"
        "--B--\r\n";
    const ReadResult r = read(raw);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.message.body, QStringLiteral("no content type here"));
    const QStringList paths = files(r);
    ASSERT_EQ(paths.size(), 2);
    EXPECT_EQ(QFileInfo(paths.at(0)).fileName(), QStringLiteral("報告.bin"));
    EXPECT_TRUE(readAll(paths.at(0)).startsWith("Hello "));
    EXPECT_EQ(QFileInfo(paths.at(1)).suffix(), QStringLiteral("png"));
    EXPECT_EQ(readAll(paths.at(1)), QByteArray("\x89PNG\r\n\x1a\n"));

    // File names as Japanese mailers write them: raw Shift_JIS bytes, and an encoded
    // word inside the quotes.
    const QByteArray names =
        "From: a@example.jp\r\nSubject: names\r\nContent-Type: multipart/mixed; boundary=B\r\n\r\n"
        "--B\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
        "--B\r\nContent-Type: application/msword\r\nContent-Disposition: attachment; filename=\"" +
        sjis(QStringLiteral("議事録.doc")) +
        "\"\r\nContent-Transfer-Encoding: base64\r\n\r\nZG9j\r\n"
        "--B\r\nContent-Type: application/pdf; name=\"=?ISO-2022-JP?B?" +
        jis(QStringLiteral("請求書.pdf")).toBase64() +
        "?=\"\r\nContent-Transfer-Encoding: base64\r\n\r\ncGRm\r\n--B--\r\n";
    const ReadResult named = read(names);
    ASSERT_TRUE(named.ok()) << named.error.toStdString();
    ASSERT_EQ(files(named).size(), 2);
    EXPECT_EQ(QFileInfo(files(named).at(0)).fileName(), QStringLiteral("議事録.doc"));
    EXPECT_EQ(QFileInfo(files(named).at(1)).fileName(), QStringLiteral("請求書.pdf"));

    // A forwarded message travels as a file named after its subject.
    const QByteArray forwarded =
        "From: a@example.jp\r\nSubject: fwd\r\nContent-Type: multipart/mixed; boundary=B\r\n\r\n"
        "--B\r\nContent-Type: text/plain\r\n\r\nsee below\r\n"
        "--B\r\nContent-Type: message/rfc822\r\n\r\nFrom: b@example.jp\r\nSubject: =?UTF-8?B?" +
        QStringLiteral("元の件名").toUtf8().toBase64() + "?=\r\n\r\ninner body\r\n--B--\r\n";
    const ReadResult fwd = read(forwarded);
    ASSERT_TRUE(fwd.ok()) << fwd.error.toStdString();
    ASSERT_EQ(files(fwd).size(), 1);
    EXPECT_EQ(QFileInfo(files(fwd).first()).fileName(), QStringLiteral("元の件名.eml"));
    EXPECT_TRUE(readAll(files(fwd).first()).contains("inner body"));

    // A message with headers only.
    const ReadResult bare = read("Subject: only\r\n");
    ASSERT_TRUE(bare.ok()) << bare.error.toStdString();
    EXPECT_EQ(bare.message.subject, QStringLiteral("only"));
    EXPECT_EQ(bare.message.body, QString());
}

TEST_F(ReadMailTest, HeaderValuesAreOneLineWhateverTheFoldsAndWordsHold)
{
    // A TAB left in the sender splits the recipient list it is later put into.
    const QByteArray raw = "From: =?iso-2022-jp?B?" + jis(QStringLiteral("山田")).toBase64() +
                           "?=\r\n\t<yamada@example.jp>\r\n"
                           "To: a@example.jp,\r\n\tb@example.jp\r\n"
                           "Cc: =?UTF-8?B?" +
                           QByteArray("c\tc\r\nc\x01").toBase64() +
                           "?= <c@example.jp>\r\n"
                           "Date: Mon, 07 Dec 2026\r\n\t10:00:00 +0900\r\n"
                           "Subject: =?UTF-8?Q?one=09two=0D=0A_three?=\r\n  four\t\tfive \r\n"
                           "\r\nline 1\tstays\r\nline 2\r\n";
    const ReadResult r = read(raw);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.message.date, QStringLiteral("Mon, 07 Dec 2026 10:00:00 +0900"));
    EXPECT_EQ(r.message.fromText, QStringLiteral("山田 <yamada@example.jp>"));
    EXPECT_EQ(r.message.toText, QStringLiteral("a@example.jp, b@example.jp"));
    EXPECT_EQ(r.message.ccText, QStringLiteral("c cc <c@example.jp>"));
    // A trailing space stays: "転送開始 " is not the command word.
    EXPECT_EQ(r.message.subject, QStringLiteral("one two three four five "));
    EXPECT_EQ(r.message.body, QStringLiteral("line 1\tstays\r\nline 2\r\n"));
}

TEST_F(ReadMailTest, WhateverTheServerHandsOverIsRead)
{
    struct Case
    {
        const char* what;
        QByteArray raw;
        QString subject;
        QString body; // what the body holds
    };
    const QList<Case> cases{
        {"only a multipart Content-Type, empty parts, repeated boundaries",
         "Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\nkept\n"
         "--B\n--B\n\n--B\n--B--\n",
         QString(), QStringLiteral("kept")},
        {"no headers at all", "just a body: of text\r\nsecond line\r\n", QString(),
         QStringLiteral("just a body: of text\r\nsecond line\r\n")},
        {"a fold before the first field", " From: a@example.jp\r\nSubject: after\r\n\r\nbody",
         QStringLiteral("after"), QStringLiteral("body")},
        {"bare LF line ends", "Subject: lf\nFrom: a@example.jp\n\none\ntwo\n", QStringLiteral("lf"),
         QStringLiteral("one\r\ntwo\r\n")},
        {"a multipart without its boundary",
         "Subject: nb\r\nContent-Type: multipart/mixed\r\n\r\nthe text\r\n", QStringLiteral("nb"),
         QStringLiteral("the text")},
        {"an empty file", QByteArray(), QString(), QString()},
    };
    for (const Case& c : cases) {
        const ReadResult r = read(c.raw);
        ASSERT_TRUE(r.ok()) << c.what << ": " << r.error.toStdString();
        EXPECT_EQ(r.message.subject, c.subject) << c.what;
        EXPECT_TRUE(r.message.body.contains(c.body))
            << c.what << ": " << r.message.body.toStdString();
    }

    // A NUL byte does not end the message: the body goes on after it. (A header keeps what
    // stands before it; GMime hands header values over as C strings.)
    static const char withNul[] = "Subject: a\0b\r\nTo: x@example.jp\r\n\r\nbefore\0after";
    const ReadResult nul = read(QByteArray(withNul, sizeof withNul - 1));
    ASSERT_TRUE(nul.ok()) << nul.error.toStdString();
    EXPECT_TRUE(nul.message.subject.startsWith(u'a'));
    EXPECT_EQ(nul.message.toText, QStringLiteral("x@example.jp"));
    EXPECT_EQ(nul.message.body, QStringLiteral("before") + QChar(0) + QStringLiteral("after"));
}

TEST_F(ReadMailTest, OnlyWhatCannotBeOpenedGivesAnErrorText)
{
    EXPECT_FALSE(ReadMail(m_dir.filePath(QStringLiteral("missing.eml")), attachDir()).ok());
    EXPECT_FALSE(ReadMail(m_dir.path(), attachDir()).ok());
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 256);
    const ReadResult r = ReadMail(write(noise, QStringLiteral("noise.eml")), attachDir());
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    const ReceivedMessage& m = r.message;
    for (const QString& text : {m.date, m.fromText, m.toText, m.ccText, m.subject}) {
        for (const QChar c : text)
            EXPECT_NE(c.category(), QChar::Other_Control) << text.toStdString();
    }
}

TEST_F(ReadMailTest, MangledMailNeverCrashesNorWritesOutsideTheFolder)
{
    qm::test::ComposedMail m;
    m.from = QStringLiteral("差出人 <a@example.jp>");
    m.subject = QStringLiteral("壊れたメール");
    m.body = QStringLiteral("本文\n");
    m.attachments = {{QStringLiteral("../添付.bin"), QByteArray(3000, 'z'),
                      QStringLiteral("application/octet-stream")},
                     {QStringLiteral("b.txt"), QByteArray("text"), QStringLiteral("text/plain")}};
    const QByteArray original = qm::test::composeMail(m);
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xffffff;
    };
    for (int round = 0; round < 300; ++round) {
        QByteArray raw = original;
        switch (round % 3) {
        case 0: // cut short anywhere
            raw.truncate(qsizetype(next() % raw.size()));
            break;
        case 1: // flip bytes
            for (int i = 0; i < 8; ++i)
                raw[qsizetype(next() % raw.size())] = char(next() & 0xff);
            break;
        default: // drop a slice, often a boundary or header line
            raw.remove(qsizetype(next() % raw.size()), qsizetype(next() % 200));
            break;
        }
        const ReadResult r = read(raw);
        if (r.ok()) {
            for (const QString& f : files(r))
                EXPECT_EQ(QFileInfo(f).absolutePath(), QFileInfo(attachDir()).absoluteFilePath());
        } else {
            EXPECT_FALSE(r.error.isEmpty()) << round;
        }
    }
    // Nothing landed beside the folder.
    for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
        EXPECT_TRUE(name.endsWith(QLatin1String(".eml"))) << name.toStdString();
}

TEST_F(ReadMailTest, ThirtyMegabyteAttachmentComesOutWhole)
{
    const QString path = m_dir.filePath(QStringLiteral("big.eml"));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("From: a@example.jp\r\nSubject: big\r\nContent-Type: multipart/mixed; "
                "boundary=B\r\n\r\n"
                "--B\r\nContent-Type: text/plain\r\n\r\nsee attachment\r\n"
                "--B\r\nContent-Type: application/pdf; name=big.pdf\r\nContent-Transfer-Encoding: "
                "base64\r\n\r\n");
        QByteArray chunk(57 * 1000, '\0');
        for (int block = 0; block < 30 * 1024 * 1024 / chunk.size() + 1; ++block) {
            for (int i = 0; i < chunk.size(); ++i)
                chunk[i] = char((block * 31 + i * 17) & 0xff);
            hash.addData(chunk);
            const QByteArray b64 = chunk.toBase64();
            for (int i = 0; i < b64.size(); i += 76)
                f.write(b64.mid(i, 76) + "\r\n");
        }
        f.write("--B--\r\n");
    }
    const ReadResult r = ReadMail(path, attachDir());
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    ASSERT_EQ(files(r).size(), 1);
    QFile out(files(r).first());
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_GT(out.size(), 30 * 1024 * 1024);
    QCryptographicHash got(QCryptographicHash::Sha256);
    got.addData(&out);
    EXPECT_EQ(got.result(), hash.result());
}

} // namespace

// Outgoing ISO-2022-JP must be byte for byte what glibc's converter writes, whatever mix of
// ASCII, line ends and JIS X 0208 a text holds, and refuse what glibc refuses.
TEST(Iso2022JpTest, EncodesExactlyAsGlibc)
{
    auto glibc = [](const QString& s) -> std::optional<QByteArray> {
        const QByteArray utf8 = s.toUtf8();
        gsize written = 0;
        gchar* out = g_convert(utf8.constData(), utf8.size(), "ISO-2022-JP", "UTF-8", nullptr,
                               &written, nullptr);
        if (!out)
            return std::nullopt;
        QByteArray b(out, qsizetype(written));
        g_free(out);
        return b;
    };
    QList<QChar> pool;
    for (const char c : QByteArray("aZ09 ~\\\t\r\n.@"))
        pool << QChar(c);
    for (const char16_t u : {u'あ', u'ン', u'漢', u'〜', u'―', u'∥', u'¥', u'‾', u'ｱ', u'①',
                             u'\x1b', u'—', u'～', u'髙', u'Ω', u'│'})
        pool << QChar(u);
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        QString s;
        for (int n = rng() % 12; n > 0; --n)
            s += pool.at(rng() % pool.size());
        QByteArray ours;
        const bool ok = qm::mail::encodeIso2022Jp(s, &ours);
        const std::optional<QByteArray> want = glibc(s);
        ASSERT_EQ(ok, want.has_value()) << s.toStdString();
        if (ok)
            ASSERT_EQ(ours, *want) << s.toStdString();
    }
}
