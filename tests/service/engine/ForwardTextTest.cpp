#include "service/ForwardText.h"

#include "data/Account.h"
#include "service/ForwardMail.h"

#include <gtest/gtest.h>

using namespace qm;
using namespace qm::service;

namespace {

Account mobileAccount()
{
    Account a;
    a.phoneEditing = true;
    a.dropSpaces = a.dropWideSpaces = a.dropTabs = a.dropLineBreaks = a.dropSymbols = true;
    return a;
}

ParsedMessage message(const QString& sender, const QString& subject, const QString& body)
{
    ParsedMessage m;
    m.date = QStringLiteral("Mon, 07 Dec 2026 10:00:00 +0900");
    m.sender = sender;
    m.subject = subject;
    m.body = body;
    return m;
}

} // namespace

TEST(ForwardText, FaxTextKeepsTheBodyAndItsDecorationAndDatesInLocalTime)
{
    // The office is in Japan; the mail was sent from a server on UTC.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "JST-9");
    ParsedMessage m = message("a@x.jp", "会議", "━━ 本文 ━━\r\n");
    m.date = QStringLiteral("Wed, 09 Dec 2026 02:20:19 +0000");
    EXPECT_EQ(BuildFaxText(m), QStringLiteral("2026年12月9日(水) 11:20\r\n \r\n差出人：a@x.jp"
                                              "\r\n \r\n件  名：会議\r\n \r\n━━ 本文 ━━\r\n"));
    m.date = QStringLiteral("Thu, 31 Dec 2026 23:30:00 +0900");
    EXPECT_EQ(BuildMailToFaxText(m), QStringLiteral("\r\n2026年12月31日(木) 23:30\r\n\r\n"
                                                    "差出人：a@x.jp\r\n\r\n━━ 本文 ━━\r\n"));
    // Whatever a stranger put in the header is shown, not guessed at.
    EXPECT_EQ(FaxDateLine(QStringLiteral("gestern")), QStringLiteral("gestern"));
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
}

TEST(ForwardText, ConditionsAreCaseSensitiveAndTriedFromSubjectToBody)
{
    Account a;
    EXPECT_TRUE(MatchesForwardConditions(a, message("x@y", "s", "b"))) << "no conditions";

    a.fromConditions = {QStringLiteral("boss@example.jp"), QString()};
    a.subjectConditions = {QStringLiteral("至急")};
    a.bodyConditions = {QStringLiteral("請求書")};
    EXPECT_TRUE(MatchesForwardConditions(a, message("上司 <boss@example.jp>", "", "")));
    EXPECT_FALSE(MatchesForwardConditions(a, message("BOSS@EXAMPLE.JP", "", "")));
    EXPECT_TRUE(MatchesForwardConditions(a, message("other@x", "件名", "先月の請求書です")));
    EXPECT_FALSE(MatchesForwardConditions(a, message("other@x", "件名", "本文")))
        << "an empty entry must not match everything";

    // A word typed with a wave dash was stored, and read back, as its Shift-JIS look-alike.
    a.bodyConditions = {QStringLiteral("10時～12時")};
    EXPECT_TRUE(MatchesForwardConditions(a, message("other@x", "件名", "10時〜12時に伺います")));
}

TEST(ForwardText, MobileEditingRemovesPairsLeftToRight)
{
    Account a = mobileAccount();
    a.dropSymbols = false;
    a.dropLineBreaks = false;
    EXPECT_EQ(EditForwardText(a, "a   b    c", {}, "00001", {}), QStringLiteral("a bc"));
    EXPECT_EQ(EditForwardText(a, "全\u3000\u3000\u3000角", {}, "00001", {}),
              QStringLiteral("全\u3000角"));
    a.dropLineBreaks = true;
    EXPECT_EQ(EditForwardText(a, "1\r\n2\n3\r4\t5", {}, "00001", {}), QStringLiteral("12\n3\r45"));
}

TEST(ForwardText, DecorationGoesBeforeTheAttachmentListIsAppended)
{
    const Account a = mobileAccount();
    Attachments att;
    att.paths = {QStringLiteral("/p/MlTmp01/Attach/report.doc"), QString()};
    att.names = {QStringLiteral("report.doc"), QString()};
    const QString edited = EditForwardText(a, "━━━A==B<<C>>│D削除語E", {"削除語"}, "00007", att);
    EXPECT_EQ(edited, QStringLiteral("ABCDE\r\n<添付ファイル>\r\n000071=report.doc\r\n000072="));
    // U+2500 is not decoration.
    EXPECT_EQ(EditForwardText(a, "─", {}, "00001", {}), QStringLiteral("─"));

    Account off = a;
    off.dropSymbols = false;
    EXPECT_EQ(EditForwardText(off, "A==B", {"B"}, "00007", att), QStringLiteral("A==B"))
        << "without DropSymbols neither strings nor attachment lines apply";
}

TEST(ForwardText, AttachmentElementsKeepTheirPositions)
{
    ParsedMessage m;
    m.elements = {"Date: d",
                  "From: f",
                  "To: ",
                  "cc: ",
                  "Subject: s",
                  "Body: b",
                  "File: /w/Attach/a.pdf",
                  "Other: x",
                  "File: ",
                  "File: C:\\old\\b.xls"};
    const Attachments att = AttachmentsOf(m);
    EXPECT_EQ(att.paths, QStringList({"/w/Attach/a.pdf", "", "C:\\old\\b.xls"}));
    EXPECT_EQ(att.names, QStringList({"a.pdf", "", "b.xls"}));
    EXPECT_EQ(att.list(), QStringLiteral("/w/Attach/a.pdf\t\tC:\\old\\b.xls"));
    EXPECT_TRUE(att.any());
}

TEST(ForwardText, ParsedFieldsLoseTheirPrefixesEverywhere)
{
    const ParsedMessage m = ParseMessage({"Date: Mon", "From: 山田, 太郎 <y@x.jp>\r\n", "To: t",
                                          "cc: ", "Subject: ", "Body: quoted Body: text"});
    EXPECT_EQ(m.sender, QStringLiteral("山田 太郎 <y@x.jp>"));
    EXPECT_EQ(m.subject, QString()) << "nine characters means no subject";
    EXPECT_EQ(m.body, QStringLiteral("quoted text"));
}

TEST(Splitting, PartsAreBoundedByCountAndNeverOverflow)
{
    EXPECT_EQ(SplitIntoParts("abcdef", 3, 5), QStringList({"abc", "def"}));
    EXPECT_EQ(SplitIntoParts("abcdefghijklmnop", 3, 3), QStringList({"abc", "def", "ghi"}));
    EXPECT_EQ(SplitIntoParts("", 3, 3), QStringList({""}));
    EXPECT_TRUE(SplitIntoParts("abc", 3, 0).isEmpty());
    EXPECT_TRUE(SplitIntoParts("abc", 0, 3).isEmpty());
    // Far past what 16-bit positions could address.
    const QString big(100000, u'x');
    const QStringList parts = SplitIntoParts(big, 32767, 32767);
    ASSERT_EQ(parts.size(), 4);
    EXPECT_EQ(parts.last().size(), 100000 - 3 * 32767);
    // A character outside the BMP is never cut in half.
    const QString emoji = QString::fromUcs4(U"a😀b");
    EXPECT_EQ(SplitIntoParts(emoji, 2, 5), QStringList({QString::fromUcs4(U"a😀"), "b"}));
}
