#include "data/FaxConfig.h"
#include "data/TextCodec.h"
#include "platform/fax/FaxBackend.h"
#include "platform/fax/FaxFileTypes.h"
#include "platform/fax/FaxNumber.h"
#include "platform/fax/HylafaxBackend.h"
#include "platform/fax/MailFaxBackend.h"
#include "platform/fax/SpoolFaxBackend.h"
#include "platform/mail/MailLibrary.h"
#include "platform/render/FaxDocumentConverter.h"
#include "platform/render/FaxTestSupport.h"
#include "platform/render/Ghostscript.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace qm;
using qm::test::toolOutput;

namespace {

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray sjis(const QString& text)
{
    return *encodeCp932(text);
}

} // namespace

TEST(FaxNumber, OnlyPlainNumbersPass)
{
    for (const char* good : {"0312345678", "03-1234-5678", "+81 3 1234 5678", "1"})
        EXPECT_TRUE(isValidFaxNumber(QString::fromUtf8(good))) << good;
    for (const char* bad : {"", "-0312345678", "0312345678-", "03--1234", "03  1234", "+", "12+34",
                            "0312345678;rm -rf /", "$(id)", "0312\n345", "０３１２３４", "03 1234 ",
                            "123456789012345678901234567890123"})
        EXPECT_FALSE(isValidFaxNumber(QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(faxDialString(QStringLiteral("03-1234-5678")), QStringLiteral("0312345678"));
    EXPECT_EQ(faxDialString(QStringLiteral("+81 3 1234 5678")), QStringLiteral("+81312345678"));
    EXPECT_EQ(faxDialString(QStringLiteral("03;ls")), QString());
}

TEST(FaxFileTypes, LastThreeCharactersExactly)
{
    for (const char* yes : {"/a/b.tif", "B.TIF", "a.doc", "a.DOC", "a.xls", "a.XLS", "a.txt",
                            "a.TXT", "a.pdf", "a.PDF"})
        EXPECT_TRUE(isFaxableFile(QString::fromUtf8(yes))) << yes;
    for (const char* no : {"report.Doc", "b.jpg", "a.Pdf", "a.xlsx", "a.docx", "a.tiff", "", "xl"})
        EXPECT_FALSE(isFaxableFile(QString::fromUtf8(no))) << no;
}

TEST(FaxConfig, DefaultsFileRoundTripAndBadLines)
{
    QTemporaryDir dir;
    QStringList warnings;
    FaxConfig def = loadFaxConfig(dir.path(), &warnings);
    EXPECT_EQ(def.backend, FaxConfig::Backend::Spool);
    EXPECT_EQ(def.spoolDir, QDir(dir.path()).filePath(QStringLiteral("FaxSpool")));
    EXPECT_TRUE(warnings.isEmpty());

    FaxConfig wanted;
    wanted.backend = FaxConfig::Backend::Hylafax;
    wanted.spoolDir = QStringLiteral("/var/tmp/送信");
    wanted.host = QStringLiteral("127.0.0.1:4559");
    wanted.faxUser = QStringLiteral("office");
    wanted.fineResolution = false;
    wanted.timeoutSeconds = 30;
    wanted.dials = 5;
    wanted.killMinutes = 90;
    wanted.replyToRequests = false;
    wanted.replyToAccount = true;
    wanted.mailAddressTemplate = QStringLiteral("{number}@gw.example");
    wanted.mailNoticeFrom = {QStringLiteral("@notice.example"), QStringLiteral("a@b.example")};
    const QString path = QDir(dir.path()).filePath(QStringLiteral("FaxPath.txt"));
    ASSERT_TRUE(writeTextLines(path, faxConfigLines(wanted)));
    const FaxConfig read = loadFaxConfig(dir.path(), &warnings);
    EXPECT_EQ(read.backend, wanted.backend);
    EXPECT_EQ(read.spoolDir, wanted.spoolDir);
    EXPECT_EQ(read.host, wanted.host);
    EXPECT_EQ(read.faxUser, wanted.faxUser);
    EXPECT_FALSE(read.fineResolution);
    EXPECT_EQ(read.timeoutSeconds, 30);
    EXPECT_EQ(read.dials, 5);
    EXPECT_EQ(read.killMinutes, 90);
    EXPECT_FALSE(read.replyToRequests);
    EXPECT_TRUE(read.replyToAccount);
    EXPECT_EQ(mailFaxAddress(read, QStringLiteral("+81312345678")),
              QStringLiteral("+81312345678@gw.example"));
    EXPECT_EQ(mailFaxAddress(read, QStringLiteral("03@evil")), QString());
    EXPECT_EQ(mailFaxNoticeSenders(read), wanted.mailNoticeFrom);
    FaxConfig gatewayOnly = read;
    gatewayOnly.mailNoticeFrom.clear();
    EXPECT_EQ(mailFaxNoticeSenders(gatewayOnly), QStringList{QStringLiteral("@gw.example")});
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();

    // Bad values keep the defaults and say why; a relative spool folder is below Data.
    const FaxConfig bad =
        parseFaxConfig({QStringLiteral("\"backend\",\"modem\""),
                        QStringLiteral("\"timeout\",\"-5\""), QStringLiteral("\"colour\",\"red\""),
                        QStringLiteral("\"host\""), QStringLiteral("\"spool\",\"jobs\"")},
                       dir.path(), &warnings);
    EXPECT_EQ(bad.backend, FaxConfig::Backend::Spool);
    EXPECT_EQ(bad.timeoutSeconds, 60);
    EXPECT_EQ(bad.host, QStringLiteral("localhost"));
    EXPECT_EQ(bad.spoolDir, QDir(dir.path()).filePath(QStringLiteral("jobs")));
    EXPECT_EQ(warnings.size(), 4);
}

TEST(FaxConfig, InstalledCheckNeedsTheClientsAndAWritableSpool)
{
    QTemporaryDir dir;
    FaxConfig spool = loadFaxConfig(dir.path());
    QString why;
    // A spool folder that does not exist yet counts when it can be made below Data.
    EXPECT_TRUE(faxBackendInstalled(spool, &why)) << why.toStdString();

    // A spool "folder" that is really a file can never take jobs.
    const QString file = QDir(dir.path()).filePath(QStringLiteral("plain"));
    ASSERT_TRUE(writeTextLines(file, {QStringLiteral("x")}));
    spool.spoolDir = file;
    EXPECT_FALSE(faxBackendInstalled(spool, &why));
    EXPECT_TRUE(why.contains(file)) << why.toStdString();

    FaxConfig hylafax;
    hylafax.backend = FaxConfig::Backend::Hylafax;
    hylafax.sendfaxPath = QDir(dir.path()).filePath(QStringLiteral("no-sendfax"));
    EXPECT_FALSE(faxBackendInstalled(hylafax, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("no-sendfax"))) << why.toStdString();
}

TEST(SpoolFaxBackend, TextJobBecomesAFaxTiffAndAJobFile)
{
    QTemporaryDir dir;
    const QString spool = dir.filePath(QStringLiteral("Data/FaxSpool"));
    FaxDocumentConverter converter;
    converter.setTextStyle({QStringLiteral("ＭＳ ゴシック"), 16});
    SpoolFaxBackend backend(spool, true, converter);
    ASSERT_TRUE(backend.isUsable());

    const QString text = writeFile(
        dir.filePath(QStringLiteral("mail.txt")),
        sjis(QStringLiteral(
            "差出人：山田太郎\r\n件名：見積書の件\r\n\r\nいつもお世話になっております。")));
    const FaxResult r =
        backend.send({QStringLiteral("メール転送"), text, QStringLiteral("03-1234-5678")});
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const QDir out(spool);
    ASSERT_EQ(out.entryList(QDir::Files, QDir::Name),
              (QStringList{r.jobId + QStringLiteral(".job"), r.jobId + QStringLiteral(".tif")}));

    const auto job = readTextLines(out.filePath(r.jobId + QStringLiteral(".job")));
    ASSERT_TRUE(job);
    EXPECT_TRUE(job->contains(QStringLiteral("\"number\",\"03-1234-5678\"")));
    EXPECT_TRUE(job->contains(QStringLiteral("\"dial\",\"0312345678\"")));
    EXPECT_TRUE(job->contains(QStringLiteral("\"name\",\"メール転送\"")));
    EXPECT_TRUE(job->contains(QStringLiteral("\"source\",\"%1\"").arg(text)));

    const QString tif = out.filePath(r.jobId + QStringLiteral(".tif"));
    const QString info = QString::fromUtf8(toolOutput(QStringLiteral("tiffinfo"), {tif}));
    EXPECT_TRUE(info.contains(QStringLiteral("Image Width: 1728 Image Length: 2292")))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("CCITT Group 3")));
    EXPECT_TRUE(info.contains(QStringLiteral("Resolution: 204, 196")));

    // The Japanese text is on the page: render the fax back to an image.
    const QString back = dir.filePath(QStringLiteral("back.pdf"));
    ASSERT_TRUE(tiffToPdf(tif, back));
    const QString png = dir.filePath(QStringLiteral("page.png"));
    toolOutput(QStringLiteral("gs"),
               {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pnggray"),
                QStringLiteral("-r100"), QStringLiteral("-sOutputFile=") + png, back});
    const QImage page = QImage(png).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_FALSE(page.isNull());
    int dark = 0;
    for (int y = 0; y < page.height() / 4; ++y)
        for (int x = 0; x < page.width(); ++x)
            dark += page.pixelColor(x, y).lightness() < 128;
    EXPECT_GT(dark, 1000);
}

TEST(SpoolFaxBackend, RefusedJobsLeaveNothingBehind)
{
    QTemporaryDir dir;
    const QString spool = dir.filePath(QStringLiteral("spool"));
    FaxDocumentConverter converter;
    SpoolFaxBackend backend(spool, false, converter);
    const QString text = writeFile(dir.filePath(QStringLiteral("a.txt")), "hello");
    const QString photo = writeFile(dir.filePath(QStringLiteral("photo.jpg")), "\xFF\xD8\xFF");
    const QString junk = writeFile(dir.filePath(QStringLiteral("junk.pdf")), "not a pdf");

    for (const FaxJob& job :
         {FaxJob{QStringLiteral("x"), text, QStringLiteral("03;touch /tmp/qm-pwned")},
          FaxJob{QStringLiteral("x"), text, QString()},
          FaxJob{QStringLiteral("x"), dir.filePath(QStringLiteral("missing.txt")),
                 QStringLiteral("0312345678")},
          FaxJob{QStringLiteral("x"), photo, QStringLiteral("0312345678")},
          FaxJob{QStringLiteral("x"), junk, QStringLiteral("0312345678")}}) {
        const FaxResult r = backend.send(job);
        EXPECT_FALSE(r.ok) << job.filePath.toStdString() << " " << job.number.toStdString();
        EXPECT_FALSE(r.error.isEmpty());
    }
    EXPECT_TRUE(QDir(spool).entryList(QDir::Files).isEmpty());
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/qm-pwned")));

    // A folder that cannot be made: not usable, with a reason.
    writeFile(dir.filePath(QStringLiteral("file")), "x");
    SpoolFaxBackend blocked(dir.filePath(QStringLiteral("file/spool")), true, converter);
    QString why;
    EXPECT_FALSE(blocked.isUsable(&why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(blocked.send({QStringLiteral("x"), text, QStringLiteral("0312345678")}).ok);
}

TEST(MailFaxBackend, ABadNumberAndABadGatewayAddressAreToldApart)
{
    QTemporaryDir dir;
    const QString text = writeFile(dir.filePath(QStringLiteral("a.txt")), "hello");
    FaxConfig config;
    config.backend = FaxConfig::Backend::Mail;
    config.mailAddressTemplate = QStringLiteral("fax@gw.example"); // no {number}
    FaxDocumentConverter converter;
    mail::SystemMailLibrary mail;
    MailFaxBackend backend(config, converter, &mail);

    const FaxResult number = backend.send({QStringLiteral("x"), text, QStringLiteral("03;id")});
    EXPECT_FALSE(number.ok);
    EXPECT_EQ(number.error, QStringLiteral("FAX番号が正しくありません: 03;id"));
    // The number is fine: the user has to mend FaxPath.txt, not the account.
    const FaxResult gateway =
        backend.send({QStringLiteral("x"), text, QStringLiteral("03-1234-5678")});
    EXPECT_FALSE(gateway.ok);
    EXPECT_TRUE(gateway.error.contains(QStringLiteral("mail-to"))) << gateway.error.toStdString();
}

TEST(HylafaxBackend, QueuesJobsOnTheServer)
{
    QM_REQUIRE_SERVER_VAR(host, "QM_HYLAFAX_HOST");
    QM_REQUIRE_SERVER_VAR(spool, "QM_HYLAFAX_SPOOL");
    QTemporaryDir dir;
    FaxConfig config;
    config.backend = FaxConfig::Backend::Hylafax;
    config.host = host;
    config.dials = 4;
    config.killMinutes = 30;
    FaxDocumentConverter converter;
    auto backend = createFaxBackend(config, converter);
    ASSERT_EQ(backend->name(), QStringLiteral("hylafax"));
    QString why;
    ASSERT_TRUE(backend->isUsable(&why)) << why.toStdString();

    FaxJob job{QStringLiteral("メール転送"), QString(), QStringLiteral("03-9876-5432")};
    job.text = QStringLiteral("日本語のファクス本文");
    const FaxResult r = backend->send(job);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_FALSE(r.jobId.isEmpty());

    const QString status = QString::fromUtf8(
        toolOutput(QStringLiteral("faxstat"), {QStringLiteral("-h"), host, QStringLiteral("-s")}));
    EXPECT_TRUE(status.contains(QRegularExpression(
        QStringLiteral("\\n%1\\s+\\d+\\s+\\w\\s+\\S+\\s+0398765432\\b").arg(r.jobId))))
        << status.toStdString();
    QFile q(QDir(spool).filePath(QStringLiteral("sendq/q") + r.jobId));
    ASSERT_TRUE(q.open(QIODevice::ReadOnly));
    const QString qfile = QString::fromUtf8(q.readAll());
    EXPECT_TRUE(qfile.contains(QStringLiteral("number:0398765432")));
    EXPECT_TRUE(qfile.contains(QStringLiteral("resolution:196")));
    EXPECT_TRUE(qfile.contains(QStringLiteral("maxdials:4")));
    // Still queued: the status query knows the job and tells nothing of it yet.
    const auto statuses = backend->statuses({r.jobId});
    ASSERT_TRUE(statuses.has_value());
    EXPECT_FALSE(statuses->contains(r.jobId));
    // Japanese text goes as our own PDF, which sendfax stores as it is.
    const auto doc =
        QRegularExpression(QStringLiteral("\\npdf:\\d*:\\d*:(docq/\\S+)")).match(qfile);
    ASSERT_TRUE(doc.hasMatch()) << qfile.toStdString();
    const QString stored = QDir(spool).filePath(doc.captured(1));
    const QString pdfText =
        QString::fromUtf8(toolOutput(QStringLiteral("pdftotext"), {stored, QStringLiteral("-")}));
    EXPECT_TRUE(pdfText.contains(QStringLiteral("日本語のファクス本文"))) << pdfText.toStdString();

    // A number that is not a number never reaches sendfax.
    const QDir sendq(QDir(spool).filePath(QStringLiteral("sendq")));
    const qsizetype before = sendq.entryList({QStringLiteral("q*")}, QDir::Files).size();
    job.number = QStringLiteral("-h evil");
    const FaxResult refused = backend->send(job);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.jobId.isEmpty());
    EXPECT_EQ(sendq.entryList({QStringLiteral("q*")}, QDir::Files).size(), before);
}

TEST(HylafaxBackend, ServerDownIsReportedNotHidden)
{
    QTemporaryDir dir;
    FaxConfig config;
    config.backend = FaxConfig::Backend::Hylafax;
    config.host = QStringLiteral("127.0.0.1:1");
    config.timeoutSeconds = 20;
    FaxDocumentConverter converter;
    HylafaxBackend backend(config, converter);
    if (!QFileInfo(config.sendfaxPath).isExecutable())
        GTEST_SKIP() << "sendfax is not installed";
    QString why;
    EXPECT_FALSE(backend.isUsable(&why));
    EXPECT_FALSE(why.isEmpty());
    const QString pdf = writeFile(dir.filePath(QStringLiteral("a.pdf")), "%PDF-1.4\n");
    const FaxResult r = backend.send({QStringLiteral("メール"), pdf, QStringLiteral("0312345678")});
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(
        backend.sendfaxArguments(QStringLiteral("0312345678"), pdf),
        (QStringList{QStringLiteral("-n"), QStringLiteral("-h"), config.host, QStringLiteral("-m"),
                     QStringLiteral("-d"), QStringLiteral("0312345678"), pdf}));
}

TEST(FaxConfig, DiallingRulesRefuseWinsAndMailChosenNumbersAreDomesticByDefault)
{
    QTemporaryDir dir;
    const FaxConfig def = parseFaxConfig({}, dir.path());
    const auto account = FaxNumberSource::Account;
    const auto mail = FaxNumberSource::Mail;
    // Today's behaviour for the account's own numbers; mail may reach ordinary domestic ones.
    for (const char* n : {"0312345678", "+15550100", "0570000111", "0012345678"})
        EXPECT_EQ(diallingRuleAgainst(def, QString::fromLatin1(n), account), QString()) << n;
    for (const char* n : {"0312345678", "0120123456", "+81312345678"})
        EXPECT_EQ(diallingRuleAgainst(def, QString::fromLatin1(n), mail), QString()) << n;
    for (const char* n :
         {"+15550100", "0570000111", "0990123456", "0101555", "0012345678", "+81570000111"})
        EXPECT_FALSE(diallingRuleAgainst(def, QString::fromLatin1(n), mail).isEmpty()) << n;

    const FaxConfig set = parseFaxConfig(
        {QStringLiteral("\"allow\",\"03 045\""), QStringLiteral("\"deny\",\"0312\""),
         QStringLiteral("\"mailfax-allow\",\"\""), QStringLiteral("\"mailfax-deny\",\"\""),
         QStringLiteral("\"mailfax-per-day\",\"0\"")},
        dir.path());
    EXPECT_EQ(diallingRuleAgainst(set, QStringLiteral("0398765432"), account), QString());
    EXPECT_EQ(diallingRuleAgainst(set, QStringLiteral("0451234567"), mail), QString());
    EXPECT_TRUE(diallingRuleAgainst(set, QStringLiteral("0312345678"), account).contains(u"deny"))
        << "the refusing prefix wins";
    EXPECT_TRUE(diallingRuleAgainst(set, QStringLiteral("0612345678"), account).contains(u"allow"));
    EXPECT_EQ(set.mailJobsPerSenderPerDay, 0);
}
