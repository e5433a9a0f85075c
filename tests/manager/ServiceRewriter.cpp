// Rewrites account 01 the way the service's remote settings do, many times in a row:
//   manager_service_rewriter <program dir> <count>
#include "data/AccountFile.h"
#include "data/Paths.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    qm::setProgramDir(QString::fromLocal8Bit(argv[1]));
    const int count = QString::fromLocal8Bit(argv[2]).toInt();
    for (int i = 0; i < count; ++i) {
        const auto r =
            qm::setAccountColumn(QStringLiteral("01"), qm::AccountRecord::ColForwardState,
                                 i % 2 ? QStringLiteral("1") : QStringLiteral("0"));
        if (!r.ok || !r.replaced) {
            std::fprintf(stderr, "rewrite %d failed: %s\n", i, qPrintable(r.error));
            return 1;
        }
    }
    const auto r = qm::setAccountColumn(QStringLiteral("01"), qm::AccountRecord::ColFaxNumbers,
                                        QStringLiteral("0399999999"));
    return r.ok ? 0 : 1;
}
