#include "FaxServiceFixture.h"
#include "platform/mail/MailLibrary.h"
#include "service/FaxDelivery.h"
#include "support/MailTestSupport.h"

using namespace qm;
using namespace qm::service;
using namespace qm::test;

namespace {

const QString kRequester = QStringLiteral("stored-fax@dest.test");
const mail::MailAddress requester{kRequester, QString()};
const QString kFrom = QStringLiteral("u79@quillmarc.test");

QString xlsSetup(const QString& path)
{
    return QString::fromUtf8(
               toolOutput(
                   QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(QM_SOURCE_DIR "/tests/platform/render/xls_setup.py"), path}))
        .trimmed();
}

class StoredAttachment : public FaxServiceTest
{
protected:
    void SetUp() override
    {
        FaxServiceTest::SetUp();
        const MailServers servers = mailServers();
        if (!servers.available()) {
            if (runningInCi())
                FAIL() << "mail test servers missing: " << servers.missing.toStdString();
            GTEST_SKIP() << "mail test servers not running: " << servers.missing.toStdString();
        }
        ctx.account.sourceAddress = kFrom;
        ctx.account.to = QStringList{QStringLiteral("someone@dest.test")};
        ctx.account.bcc = QStringList{kRequester};
        ctx.account.smtp.server = mail::ServerAddress{servers.smtpHost, servers.smtpPort};
        clearReceivedMails(kRequester);

        xls = path(QStringLiteral("MlTmp01/Attach/data.xls"));
        QDir().mkpath(QFileInfo(xls).path());
        QFile::copy(QStringLiteral(QM_SOURCE_DIR "/tests/platform/render/data/b4.xls"), xls);
        photo = writeFile(QStringLiteral("MlTmp01/Attach/photo.jpg"), "\xFF\xD8\xFF\xE0");
        memo = writeFile(QStringLiteral("MlTmp01/Attach/memo.txt"),
                         *encodeCp932(QStringLiteral("覚え書き")));
        writeLines(path(QStringLiteral("MlTmp01/Data/AttachNo.txt")),
                   {joinQuoted({QStringLiteral("000011"), xls, QStringLiteral("data.xls")}),
                    joinQuoted({QStringLiteral("000012"), photo, QStringLiteral("photo.jpg")}),
                    joinQuoted({QStringLiteral("000021"), memo, QStringLiteral("memo.txt")}),
                    joinQuoted({QStringLiteral("000021"), photo, QStringLiteral("second.jpg")})});
    }

    QList<ParsedMail> replies() const
    {
        QList<ParsedMail> out;
        for (const ReceivedMail& m : receivedMails(kRequester)) {
            EXPECT_EQ(m.mailFrom, kFrom);
            out << parseMail(m.raw);
        }
        return out;
    }

    QString xls, photo, memo;
};

} // namespace

TEST_F(StoredAttachment, UnknownNumberAndUnfaxableTypeAreAnsweredWithoutAJob)
{
    ASSERT_TRUE(
        FaxStoredAttachment(ctx, requester, QStringLiteral("0312345678"), QStringLiteral("0000")));
    ASSERT_TRUE(FaxStoredAttachment(ctx, requester, QStringLiteral("0312345678"),
                                    QStringLiteral("000012")));
    EXPECT_TRUE(spoolJobs().isEmpty());
    const QList<ParsedMail> mails = replies();
    ASSERT_EQ(mails.size(), 2);
    EXPECT_EQ(mails[0].subject, QStringLiteral("<添付FL不明>"));
    EXPECT_EQ(mails[0].body.trimmed(),
              QStringLiteral("指定された番号(0000)の添付ファイルは見つかりません。\r\n"
                             "番号を確認して再度指示してください。"));
    EXPECT_EQ(mails[1].subject, QStringLiteral("<添付FL送信不可>"));
    EXPECT_EQ(mails[1].body.trimmed(),
              QStringLiteral("指定された添付ファイル\r\nphoto.jpg"
                             "はFAX送信できない種類です。\r\n"
                             "ファイル名の後3桁が doc xls txt のみFAX送信できます。"));
}

TEST_F(StoredAttachment, WorkbookIsSetUpForA4ThenFaxedAndTheStartIsAnswered)
{
    ASSERT_TRUE(FaxStoredAttachment(ctx, requester, QStringLiteral("0312345678\t0399998888"),
                                    QStringLiteral("000011")));
    EXPECT_TRUE(xlsSetup(xls).contains(QStringLiteral("paper=9 right=0.499 scale=76")))
        << xlsSetup(xls).toStdString();
    const QList<SpoolJob> jobs = spoolJobs();
    ASSERT_EQ(jobs.size(), 2);
    EXPECT_EQ(jobs[0].name, QStringLiteral("添付ファイル送信"));
    EXPECT_EQ(jobs[0].source, xls);
    EXPECT_EQ(logDestinations(kRequester),
              (QStringList{QStringLiteral("0312345678"), QStringLiteral("0399998888")}));
    const QList<ParsedMail> mails = replies();
    ASSERT_EQ(mails.size(), 2);
    EXPECT_EQ(mails[0].subject, QStringLiteral("<添付FL送信開始>"));
    EXPECT_EQ(mails[0].body.trimmed(),
              QStringLiteral(
                  "指定された添付ファイル\r\ndata.xls\r\nを0312345678へFAX送信開始しました。"));
    EXPECT_TRUE(mails[1].body.contains(QStringLiteral("を0399998888へ")));
}

TEST_F(StoredAttachment, FirstMatchingLineCountsAndAFailedJobIsLoggedWithoutReply)
{
    useUnreachableFaxServer();
    ASSERT_TRUE(FaxStoredAttachment(ctx, requester, QStringLiteral("0312345678"),
                                    QStringLiteral("000021")));
    EXPECT_EQ(logDestinations(kRequester),
              (QStringList{QStringLiteral("0312345678 FAX設定エラー3")}));
    EXPECT_TRUE(replies().isEmpty());
    EXPECT_TRUE(screen.boxes.isEmpty());
}

TEST_F(StoredAttachment, OnlyTheAccountsOwnAddressesMayAskAndOthersHearNothing)
{
    const QString intruder = QStringLiteral("intruder@evil.test");
    clearReceivedMails(intruder);
    // A display name, or a longer domain holding the address, proves nothing.
    for (const QByteArray& sender : {QByteArray("intruder@evil.test"),
                                     QByteArray("\"stored-fax@dest.test\" <intruder@evil.test>"),
                                     QByteArray("stored-fax@dest.test.evil.test")})
        ASSERT_TRUE(FaxStoredAttachment(ctx, mail::parseMailbox(sender),
                                        QStringLiteral("0312345678"), QStringLiteral("000021")));
    EXPECT_TRUE(spoolJobs().isEmpty());
    EXPECT_TRUE(receivedMails(intruder).isEmpty());
    EXPECT_TRUE(replies().isEmpty());
    EXPECT_EQ(logDestinations(intruder).size(), 2) << "one line for each refused request";

    // The address itself, whatever its name and the case of its domain, is served.
    ASSERT_TRUE(FaxStoredAttachment(ctx, mail::parseMailbox("Taro <stored-fax@DEST.test>"),
                                    QStringLiteral("0312345678"), QStringLiteral("000021")));
    EXPECT_EQ(spoolJobs().size(), 1);
}
