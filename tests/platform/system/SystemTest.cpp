#include "data/Paths.h"
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
