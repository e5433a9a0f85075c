#include "platform/mail/MailboxFiles.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace qm::mail;

TEST(MailboxFiles, NamesFromUidlsAreSafeDistinctAndRecognised)
{
    const QStringList uidls{"000000010000abcd",
                            "a/b",
                            "a%2Fb",
                            "..",
                            ".hidden",
                            "x\\y:z*?",
                            "A",
                            "a",
                            QString(300, QLatin1Char('q')),
                            QString(300, QLatin1Char('q')) + "r"};
    QSet<QString> names;
    for (const QString& u : uidls) {
        const QString name = messageFileName(u);
        EXPECT_FALSE(name.contains(QLatin1Char('/'))) << name.toStdString();
        EXPECT_FALSE(name.contains(QLatin1Char('\\'))) << name.toStdString();
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << name.toStdString();
        EXPECT_LE(name.toUtf8().size(), 200);
        EXPECT_TRUE(isMessageFileName(name)) << name.toStdString();
        EXPECT_EQ(messageFileName(u), name); // stable
        names.insert(name);
    }
    EXPECT_EQ(names.size(), uidls.size());
    EXPECT_EQ(messageFileName(QStringLiteral("000000010000abcd")),
              QStringLiteral("000000010000abcd.eml"));
    EXPECT_FALSE(isMessageFileName(QStringLiteral(".uidl-list")));
    EXPECT_FALSE(isMessageFileName(QStringLiteral("MailRcv.log")));
    EXPECT_FALSE(isMessageFileName(QStringLiteral("報告.eml")));
}

TEST(MailboxFiles, UidlListingParsing)
{
    QList<UidlEntry> entries;
    ASSERT_TRUE(parseUidlListing("1 abc\r\n2 d e\r\n", &entries));
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.at(1).position, 2);
    EXPECT_EQ(entries.at(1).uidl, QStringLiteral("d e"));
    EXPECT_TRUE(parseUidlListing("", &entries));
    EXPECT_TRUE(entries.isEmpty());
    EXPECT_FALSE(parseUidlListing("garbage\r\n", &entries));
    EXPECT_FALSE(parseUidlListing("0 abc\r\n", &entries));
}
