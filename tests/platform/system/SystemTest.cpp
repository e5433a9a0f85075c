#include "data/Paths.h"
#include "platform/system/RegistryStore.h"
#include "platform/system/SystemInfo.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace qm;

TEST(SystemInfo, ComputerNameIsTheHostName)
{
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(GetLocalComputerName(), QString::fromLocal8Bit(host));
    EXPECT_EQ(TrimAtNul(QStringLiteral("abc") + QChar(u'\0') + QStringLiteral("junk")),
              QStringLiteral("abc"));
    const QString leadingNul = QChar(u'\0') + QStringLiteral("x");
    EXPECT_EQ(TrimAtNul(leadingNul), leadingNul);
}

TEST(RegistryStore, GetAndSetKeepTypesAndDefaults)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    setProgramDir(dir.path());
    const QString root = QStringLiteral("HKEY_CURRENT_USER");
    const QString key = QStringLiteral("Software\\Renderer\\Font");

    EXPECT_EQ(ReadRegistryValue(root, key, QStringLiteral("lfFaceName"), RegistryType::String,
                                QStringLiteral("none")),
              QVariant(QStringLiteral("none")));
    ASSERT_TRUE(WriteRegistryValue(root, key, QStringLiteral("lfFaceName"), RegistryType::String,
                                   QStringLiteral("IPAゴシック")));
    ASSERT_TRUE(
        WriteRegistryValue(root, key, QStringLiteral("iPointSize"), RegistryType::Dword, 110));
    ASSERT_TRUE(WriteRegistryValue(root, key, QStringLiteral("big"), RegistryType::Dword,
                                   qlonglong(0xFFFFFFFF)));
    EXPECT_FALSE(WriteRegistryValue(root, key, QStringLiteral("bad"), RegistryType::Dword,
                                    QStringLiteral("x")));
    ASSERT_TRUE(WriteRegistryValue(root, QStringLiteral("Other"), QStringLiteral("iPointSize"),
                                   RegistryType::Dword, 90));

    EXPECT_EQ(ReadRegistryValue(root, key, QStringLiteral("lfFaceName"), RegistryType::String, {})
                  .toString(),
              QStringLiteral("IPAゴシック"));
    EXPECT_EQ(
        ReadRegistryValue(root, key, QStringLiteral("iPointSize"), RegistryType::Dword, 0).toInt(),
        110);
    EXPECT_EQ(ReadRegistryValue(root, key, QStringLiteral("big"), RegistryType::Dword, 0).toInt(),
              -1);
    // A string where a number is expected gives the default.
    EXPECT_EQ(
        ReadRegistryValue(root, key, QStringLiteral("lfFaceName"), RegistryType::Dword, 7).toInt(),
        7);
    EXPECT_EQ(ReadRegistryValue(root, QStringLiteral("Other"), QStringLiteral("iPointSize"),
                                RegistryType::Dword, 0)
                  .toInt(),
              90);
    setProgramDir({});
}
