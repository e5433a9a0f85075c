#include "DataFixture.h"
#include "data/AccountFile.h"
#include "data/AccountSettings.h"
#include "data/HandOverFiles.h"
#include "data/IniFile.h"
#include "data/TimerSettings.h"

using namespace qm;

TEST_F(DataTest, TimerSettingsDefaultsAndFirstRunFile)
{
    const TimerSettings missing = LoadTimerSettings();
    EXPECT_FALSE(missing.fileExists);
    EXPECT_EQ(missing.intervalMinutes, 5);
    EXPECT_EQ(missing.logRetentionHours, 24);
    EXPECT_EQ(missing.remoteSettingsAllowed, 1);

    ASSERT_TRUE(SaveTimerSettings(TimerSettings{}));
    EXPECT_EQ(bytesOf(paths().settingsFile), QByteArray("\"5\",\"24\",1,0,\"\",0,0,0,0\r\n"));
    const TimerSettings back = LoadTimerSettings();
    EXPECT_TRUE(back.fileExists);
    EXPECT_EQ(back, TimerSettings{});
    EXPECT_EQ(back.fieldCount, 9);

    TimerSettings s;
    s.intervalMinutes = 1440;
    s.passwordOn = 1;
    s.password = QStringLiteral("ひみつ");
    s.detailLog = 1;
    ASSERT_TRUE(SaveTimerSettings(s));
    EXPECT_EQ(LoadTimerSettings(), s);
    QString error;
    // A comma would shift the fields; a look-alike would never match the typed password.
    for (const QString password : {"a,b", "a\u301Cb"}) {
        s.password = password;
        error.clear();
        EXPECT_FALSE(SaveTimerSettings(s, &error));
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST_F(DataTest, TimerSettingsToleratesShortAndBadLines)
{
    putBytes(paths().settingsFile, "\"10\",\"48\",0,1,\"pw\",1,1,1\n");
    TimerSettings s = LoadTimerSettings();
    EXPECT_EQ(s.intervalMinutes, 10);
    EXPECT_EQ(s.checkAtAccountSetting, 1);
    EXPECT_EQ(s.detailLog, 0);
    EXPECT_EQ(s.fieldCount, 8);
    EXPECT_EQ(s.rawRemoteSettings, QStringLiteral("0"));

    // A stray comma in the password shifts the fields: the numbers that no longer parse
    // keep their defaults instead of stopping the service.
    putBytes(paths().settingsFile, "\"abc\",\"99999\",1,1,\"p,w\",0,0,0,1\r\n");
    QString warning;
    s = readTimerSettings(paths().settingsFile, &warning);
    EXPECT_EQ(s.intervalMinutes, 5);
    EXPECT_EQ(s.logRetentionHours, 24);
    EXPECT_EQ(s.checkAtStart, 0); // field 5 is now "w"
    EXPECT_TRUE(warning.contains(QStringLiteral("intervalMinutes")));
    EXPECT_TRUE(warning.contains(QStringLiteral("checkAtStart")));

    // The number a field holds counts, however it is written.
    putBytes(paths().settingsFile, "\"10.0\",\" 7 \",0,1,\"pw\",1,0,0,1\r\n");
    warning.clear();
    s = readTimerSettings(paths().settingsFile, &warning);
    EXPECT_EQ(s.intervalMinutes, 10);
    EXPECT_EQ(s.logRetentionHours, 7);
    EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();

    putBytes(paths().settingsFile, "");
    EXPECT_EQ(LoadTimerSettings(), TimerSettings{});
}

TEST_F(DataTest, PerAccountLinesAppendThenReplaceInPlace)
{
    EXPECT_EQ(readFaxOption(QStringLiteral("01")), QStringLiteral("mail"));
    ASSERT_TRUE(saveFaxOption(QStringLiteral("01"), QStringLiteral("mail")));
    ASSERT_TRUE(saveFaxOption(QStringLiteral("02"), QStringLiteral("attach")));
    ASSERT_TRUE(saveFaxOption(QStringLiteral("01"), QStringLiteral("attach")));
    EXPECT_EQ(bytesOf(paths().faxOptFile),
              QByteArray("\"01\",\"attach\"\r\n\"02\",\"attach\"\r\n"));
    EXPECT_FALSE(saveFaxOption(QStringLiteral("01"), QStringLiteral("pdf")));

    // Extra fields from a stray comma are cut; missing ones padded.
    putBytes(paths().delStringFile,
             sjis(QStringLiteral("\"01\",\"【広告】\t★\",\"junk\"\r\n\"03\"\r\n")));
    EXPECT_EQ(readDeleteStrings(QStringLiteral("01")),
              (QStringList{QStringLiteral("【広告】"), QStringLiteral("★")}));
    ASSERT_TRUE(saveDeleteStrings(QStringLiteral("03"),
                                  {QStringLiteral("PR:"), QStringLiteral("配信停止")}));
    EXPECT_EQ(*readTextLines(paths().delStringFile),
              (QStringList{QStringLiteral("\"01\",\"【広告】\t★\""),
                           QStringLiteral("\"03\",\"PR:\t配信停止\"")}));
    EXPECT_FALSE(saveDeleteStrings(QStringLiteral("03"), {QStringLiteral("a,b")}));
    EXPECT_EQ(dataFiles(),
              (QStringList{QStringLiteral("DelString.txt"), QStringLiteral("FaxOpt.txt"),
                           QStringLiteral("quillmarc.lock")}));
}

TEST_F(DataTest, FontTablePrintModeAndFaxReset)
{
    FontDataRow row;
    row.AccountNo = QStringLiteral("01");
    row.printOn = QStringLiteral("1");
    row.printAll = QStringLiteral("1");
    row.printFontName = QStringLiteral("IPAゴシック");
    ASSERT_TRUE(saveFontDataRow(row));
    FontDataRow off = row;
    off.AccountNo = QStringLiteral("02");
    off.printOn = QStringLiteral("0");
    ASSERT_TRUE(saveFontDataRow(off));

    EXPECT_EQ(*readFontDataRow(QStringLiteral("01")), row);
    FontSettings s = fontSettingsFor(QStringLiteral("01"));
    EXPECT_EQ(s.printMode, 2);
    EXPECT_EQ(s.printFontName, QStringLiteral("IPAゴシック"));
    EXPECT_EQ(fontSettingsFor(QStringLiteral("02")).printMode, 0);
    s = fontSettingsFor(QStringLiteral("09"));
    EXPECT_EQ(s.printMode, 0);
    EXPECT_EQ(s.faxFontName, QStringLiteral("ＭＳ ゴシック"));
    EXPECT_EQ(s.faxFontSize, QStringLiteral("11"));

    ASSERT_TRUE(resetFaxFonts());
    const auto after = readFontDataRow(QStringLiteral("02"));
    EXPECT_EQ(after->faxFontName, QStringLiteral("設定不可"));
    EXPECT_EQ(after->faxFontSize, QStringLiteral("0"));
    EXPECT_EQ(after->printFontName, off.printFontName);
}

TEST_F(DataTest, FontTableIsCreatedOnceFromAccountsAndOldSize)
{
    for (const char* no : {"01", "02"}) {
        AccountRecord r = newAccountTemplate(QString::fromLatin1(no));
        ASSERT_TRUE(saveAccount(r).ok);
    }
    putBytes(paths().oldFontFile, "\"ＭＳ\",\"14\"\r\n");
    ASSERT_TRUE(CreateFontDataFile());
    EXPECT_FALSE(QFileInfo::exists(paths().oldFontFile));
    EXPECT_EQ(
        *readTextLines(paths().fontTable),
        (QStringList{
            QStringLiteral("\"01\",\"0\",\"0\",\"ＭＳ ゴシック\",\"11\",\"ＭＳ ゴシック\",\"14\""),
            QStringLiteral(
                "\"02\",\"0\",\"0\",\"ＭＳ ゴシック\",\"11\",\"ＭＳ ゴシック\",\"14\"")}));

    // An existing table is never rebuilt, and an old file next to it stays.
    putBytes(paths().oldFontFile, "\"x\",\"20\"\r\n");
    const QByteArray before = bytesOf(paths().fontTable);
    ASSERT_TRUE(CreateFontDataFile());
    EXPECT_EQ(bytesOf(paths().fontTable), before);
    EXPECT_TRUE(QFileInfo::exists(paths().oldFontFile));
}

TEST_F(DataTest, ModeFile)
{
    EXPECT_FALSE(modeFileExists());
    EXPECT_FALSE(readModeFile());
    ASSERT_TRUE(WriteModeFile(QStringLiteral("Append")));
    EXPECT_EQ(bytesOf(paths().modeFile), QByteArray("\"Append\"\r\n"));
    EXPECT_EQ(*readModeFile(), QStringLiteral("Append"));
    ASSERT_TRUE(WriteModeFile(QStringLiteral("Suspended")));
    EXPECT_EQ(*readModeFile(), QStringLiteral("Suspended"));
    ASSERT_TRUE(deleteModeFile());
    EXPECT_FALSE(modeFileExists());
}

TEST_F(DataTest, IniValuesAndWindowPlacement)
{
    const QString ini = iniPathFor(QStringLiteral("quillmarc"));
    EXPECT_EQ(
        ReadIniValue(ini, QStringLiteral("WinPos"), QStringLiteral("Left"), QStringLiteral("7")),
        QStringLiteral("7"));
    ASSERT_TRUE(
        WriteIniValue(ini, QStringLiteral("WinPos"), QStringLiteral("Left"), QStringLiteral("10")));
    ASSERT_TRUE(
        WriteIniValue(ini, QStringLiteral("Other"), QStringLiteral("Left"), QStringLiteral("99")));
    ASSERT_TRUE(
        WriteIniValue(ini, QStringLiteral("winpos"), QStringLiteral("top"), QStringLiteral("20")));
    ASSERT_TRUE(
        WriteIniValue(ini, QStringLiteral("WinPos"), QStringLiteral("Left"), QStringLiteral("11")));
    EXPECT_EQ(ReadIniValue(ini, QStringLiteral("WinPos"), QStringLiteral("Left"), {}),
              QStringLiteral("11"));
    EXPECT_EQ(ReadIniValue(ini, QStringLiteral("WinPos"), QStringLiteral("Top"), {}),
              QStringLiteral("20"));
    EXPECT_EQ(ReadIniValue(ini, QStringLiteral("Other"), QStringLiteral("Left"), {}),
              QStringLiteral("99"));
    EXPECT_EQ(*readTextLines(ini),
              (QStringList{QStringLiteral("[WinPos]"), QStringLiteral("Left=11"),
                           QStringLiteral("top=20"), QString(), QStringLiteral("[Other]"),
                           QStringLiteral("Left=99")}));
    EXPECT_FALSE(WriteIniValue(ini, QStringLiteral("WinPos"), QStringLiteral("Left"),
                               QStringLiteral("a\nb")));

    // Window placement goes to the running program's ini file.
    const WindowPlacement current{1, 2, 3, 4, 1};
    EXPECT_EQ(restoreWindowPlacement(current), current);
    const WindowPlacement saved{100, 740, 80, 560, 3};
    ASSERT_TRUE(saveWindowPlacement(saved));
    EXPECT_EQ(restoreWindowPlacement(current), saved);
    ASSERT_TRUE(WriteIniValue(GetIniPath(), QStringLiteral("WinPos"), QStringLiteral("Top"),
                              QStringLiteral("x")));
    EXPECT_EQ(restoreWindowPlacement(current).top, 3);
}
