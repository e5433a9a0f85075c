// Second process for the lock tests.
//   hold <program dir> <ms>          take the data lock, print "locked", hold it, exit
//   append <program dir> <from> <to> save new accounts from..to, one rewrite each
//   rewrite <program dir> <count>    set account 01's fax number to 0..count-1 in turn, as
//                                    remote settings do, each time finding the one before
#include "data/AccountFile.h"
#include "data/AccountRecord.h"
#include "data/DataLock.h"
#include "data/Paths.h"

#include <QString>
#include <QThread>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    qm::setProgramDir(QString::fromLocal8Bit(argv[2]));
    if (mode == QLatin1String("hold")) {
        qm::DataLock lock;
        if (!lock.isLocked())
            return 3;
        std::printf("locked\n");
        std::fflush(stdout);
        QThread::msleep(std::atoi(argv[3]));
        return 0;
    }
    if (mode == QLatin1String("append") && argc >= 5) {
        for (int n = std::atoi(argv[3]); n <= std::atoi(argv[4]); ++n) {
            qm::AccountRecord r = qm::newAccountTemplate(qm::formatAccountNo(n));
            r.PopServer = QStringLiteral("pop.example.jp");
            if (!qm::saveAccount(r).ok)
                return 4;
        }
        return 0;
    }
    if (mode == QLatin1String("rewrite")) {
        // Each rewrite finds the value the one before it wrote: nothing undid it in between.
        QString expected;
        for (int i = 0; i < std::atoi(argv[3]); ++i) {
            bool found = true;
            const auto r = qm::rewriteAccountFile(
                QStringLiteral("01"),
                [&](qm::AccountRecord& rec) {
                    found = i == 0 || rec.FaxNumbers == expected;
                    rec.FaxNumbers = QString::number(i);
                },
                std::nullopt);
            if (!r.ok || !r.replaced || !found) {
                std::fprintf(stderr, "rewrite %d: %s\n", i,
                             found ? qPrintable(r.error) : "an earlier rewrite was undone");
                return 1;
            }
            expected = QString::number(i);
        }
        return 0;
    }
    return 2;
}
