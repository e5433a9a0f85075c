#include "data/AccountFile.h"

#include "DataFixture.h"
#include "data/AccountRecord.h"

using namespace qm;

namespace {

AccountRecord account(const QString& no, const QString& server)
{
    AccountRecord r = newAccountTemplate(no);
    r.PopServer = server;
    return r;
}

QStringList storedLines()
{
    return *readTextLines(filePaths().accountFile);
}

} // namespace

TEST(AccountRecord, TemplatesAndLineForms)
{
    EXPECT_EQ(
        newAccountTemplateLine(QStringLiteral("05")),
        QStringLiteral("\"05\",\"アカウント05\",1,,,,,,110,0,,25,0,2,,,,,,,,,,1,0,,,0,1,1,1,1,1"));
    EXPECT_EQ(
        deletedAccountTemplateLine(QStringLiteral("02")),
        QStringLiteral(
            "\"02\",\"アカウント02（削除済み）\",0,,,,,,110,0,,25,0,2,,,,,,,,,,1,0,,,0,1,1,1,1,1"));

    AccountRecord r = newAccountTemplate(QStringLiteral("03"));
    r.PopServer = QStringLiteral("pop.jp");
    const QString appended = buildAppendedLine(r);
    EXPECT_TRUE(appended.startsWith(QStringLiteral("\"03\",\"アカウント03\",1,\"\",")));
    EXPECT_TRUE(appended.endsWith(QStringLiteral(",\"\",\"\",0,1,1,1,1,1")));
    EXPECT_EQ(buildReplacedLine(r).count(QLatin1Char('"')), 66);
    // Every form reads back to the same record.
    EXPECT_EQ(*AccountRecord::fromLine(appended), r);
    EXPECT_EQ(*AccountRecord::fromLine(buildReplacedLine(r)), r);

    EXPECT_FALSE(AccountRecord::fromLine(appended + QStringLiteral(",x")));
    EXPECT_FALSE(AccountRecord::fromLine(appended.section(QLatin1Char(','), 0, 31)));
    EXPECT_EQ(AccountRecord::columnName(32), QStringLiteral("DropSymbols"));
}

TEST(AccountRecord, EditorValuesBecomeStoredForm)
{
    AccountRecord r = newAccountTemplate(QStringLiteral("01"));
    r.ForwardTo = QStringLiteral("a@x,jp\r\nb@y.jp\r\n");
    r.FaxNumbers = QStringLiteral("03-1234-5678\r\n");
    r.SourceAddress = QStringLiteral("me@x,jp");
    r.FilterBody = QStringLiteral("請求\n見積\n");
    const AccountRecord n = normalizeEditedRecord(r);
    EXPECT_EQ(n.ForwardTo, QStringLiteral("a@x.jp\tb@y.jp"));
    EXPECT_EQ(n.FaxNumbers, QStringLiteral("03-1234-5678\t"));
    EXPECT_EQ(n.SourceAddress, QStringLiteral("me@x.jp"));
    EXPECT_EQ(n.FilterBody, QStringLiteral("請求\t見積"));
    EXPECT_EQ(listItems(n.ForwardTo).size(), 2);
    EXPECT_TRUE(listItems(QString()).isEmpty());

    AccountRecord bad = n;
    bad.PopPassword = QStringLiteral("pa,ss");
    EXPECT_EQ(unstorableColumns(bad), QStringList{QStringLiteral("PopPassword")});
    EXPECT_EQ(forwardStateText(QStringLiteral("2")), QStringLiteral("転送削除"));
    EXPECT_EQ(forwardStateText(QStringLiteral("-2")), QStringLiteral("停止中"));
}

TEST_F(DataTest, FirstSaveCreatesFileAndWorkFolders)
{
    const auto empty = readAccountTable();
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->fileExists);
    EXPECT_EQ(nextAccountNumber(empty->records), 1);

    const RewriteResult r = saveAccount(account(QStringLiteral("01"), QStringLiteral("pop.a.jp")));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.appended);
    EXPECT_EQ(storedLines().size(), 1);
    EXPECT_TRUE(bytesOf(paths().accountFile).endsWith("1,1,1,1,1\r\n"));
    EXPECT_TRUE(QDir(m_dir.path() + QStringLiteral("/MlTmp01/Attach")).exists());
}

TEST_F(DataTest, EmptyAccountFileIsAnEmptyTable)
{
    putBytes(paths().accountFile, QByteArray());
    const auto table = readAccountTable();
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->fileExists);
    EXPECT_TRUE(table->records.isEmpty());
    ASSERT_TRUE(saveAccount(account(QStringLiteral("01"), QStringLiteral("pop.jp"))).appended);
    EXPECT_EQ(storedLines().size(), 1);
}

TEST_F(DataTest, DeletedNumbersStayTakenAndRefillInPlace)
{
    for (const char* no : {"01", "02", "03"})
        ASSERT_TRUE(saveAccount(account(QString::fromLatin1(no), QStringLiteral("pop.jp"))).ok);
    ASSERT_TRUE(deleteAccount(QStringLiteral("02")).ok);

    auto table = readAccountTable();
    ASSERT_EQ(table->records.size(), 3);
    EXPECT_TRUE(table->records[1].isVacant());
    EXPECT_EQ(table->records[1].AccountName, QStringLiteral("アカウント02（削除済み）"));
    EXPECT_EQ(table->records[1].ForwardState, QStringLiteral("0"));
    EXPECT_EQ(nextAccountNumber(table->records), 4);

    AccountRecord again = account(QStringLiteral("02"), QStringLiteral("pop.again.jp"));
    again.AccountName = QStringLiteral("営業部");
    ASSERT_TRUE(saveAccount(again).replaced);
    table = readAccountTable();
    ASSERT_EQ(table->records.size(), 3);
    EXPECT_EQ(table->records[1].AccountName, QStringLiteral("営業部"));
    EXPECT_EQ(table->records[2].AccountNo, QStringLiteral("03"));
}

TEST_F(DataTest, SavingOneAccountKeepsOtherLinesAndOrder)
{
    // Stored by hand: template forms with bare numbers, one line that is not a record, and
    // LF line ends.
    const QString foreign = QStringLiteral("# memo, not an account");
    putBytes(paths().accountFile,
             sjis(newAccountTemplateLine(QStringLiteral("01")) + QStringLiteral("\n") + foreign +
                  QStringLiteral("\n") + newAccountTemplateLine(QStringLiteral("02")) +
                  QStringLiteral("\n")));
    AccountRecord edited = account(QStringLiteral("02"), QStringLiteral("pop.b.jp"));
    edited.SmtpAuthMethod.clear(); // no option chosen: the stored value stays
    const RewriteResult r = saveAccount(edited);
    ASSERT_TRUE(r.ok) << r.error.toStdString();

    const QStringList lines = storedLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(*AccountRecord::fromLine(lines[0]), newAccountTemplate(QStringLiteral("01")));
    EXPECT_EQ(lines[1], foreign);
    const AccountRecord stored = *AccountRecord::fromLine(lines[2]);
    EXPECT_EQ(stored.PopServer, QStringLiteral("pop.b.jp"));
    EXPECT_EQ(stored.SmtpAuthMethod, QStringLiteral("2"));
    EXPECT_EQ(lines[2], buildReplacedLine(stored));
    EXPECT_EQ(readAccountTable()->nonRecordLines, 1);
}

TEST_F(DataTest, RewriteRefusesWhatItCannotCarrySafely)
{
    ASSERT_TRUE(saveAccount(account(QStringLiteral("01"), QStringLiteral("pop.jp"))).ok);
    QByteArray original = bytesOf(paths().accountFile);

    AccountRecord comma = account(QStringLiteral("01"), QStringLiteral("pop.jp"));
    comma.SmtpPassword = QStringLiteral("a,b");
    RewriteResult r = saveAccount(comma);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("SmtpPassword")));
    EXPECT_FALSE(saveAccount(account(QStringLiteral("1"), QStringLiteral("pop.jp"))).ok);

    // Bytes that are not Shift-JIS: readers still see the good records, rewrites refuse.
    original.append("\"bad\x85\"\r\n");
    putBytes(paths().accountFile, original);
    EXPECT_EQ(readAccountTable()->records.size(), 1);
    r = rewriteAccountFile(
        QStringLiteral("01"), [](AccountRecord& a) { a.ForwardState = QStringLiteral("0"); },
        std::nullopt);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(bytesOf(paths().accountFile), original);
}

TEST_F(DataTest, RewriteChangesOnlyTheMatchingRecord)
{
    ASSERT_TRUE(saveAccount(account(QStringLiteral("01"), QStringLiteral("pop.a.jp"))).ok);
    ASSERT_TRUE(saveAccount(account(QStringLiteral("02"), QStringLiteral("pop.b.jp"))).ok);
    const auto change = [](AccountRecord& a) {
        a.FaxNumbers = QStringLiteral("0311112222");
        a.ForwardState = QStringLiteral("0");
    };
    ASSERT_TRUE(rewriteAccountFile(QStringLiteral("02"), change, std::nullopt).ok);
    const RewriteResult none = rewriteAccountFile(QStringLiteral("09"), change, std::nullopt);
    EXPECT_TRUE(none.ok);
    EXPECT_FALSE(none.replaced || none.appended);

    const auto table = readAccountTable();
    ASSERT_EQ(table->records.size(), 2);
    EXPECT_EQ(table->records[0], account(QStringLiteral("01"), QStringLiteral("pop.a.jp")));
    EXPECT_EQ(table->records[1].FaxNumbers, QStringLiteral("0311112222"));
    EXPECT_EQ(table->records[1].ForwardState, QStringLiteral("0"));
}

TEST_F(DataTest, HandOverRecordCarriesStoredRecordOrTemplate)
{
    AccountRecord r = account(QStringLiteral("01"), QStringLiteral("pop.a.jp"));
    r.ForwardTo = QStringLiteral("a@x.jp\tb@x.jp");
    ASSERT_TRUE(saveAccount(r).ok);

    ASSERT_TRUE(writeHandOverRecord(QStringLiteral("01")));
    EXPECT_EQ(*readHandOverRecord(), r);
    EXPECT_EQ(bytesOf(paths().handOverRecord).count('"'), 66);

    ASSERT_TRUE(writeHandOverRecord(QStringLiteral("04")));
    EXPECT_EQ(*readHandOverRecord(), newAccountTemplate(QStringLiteral("04")));
    ASSERT_TRUE(deleteHandOverRecord());
    QString error;
    EXPECT_FALSE(readHandOverRecord(&error));
    EXPECT_FALSE(error.isEmpty());
}
