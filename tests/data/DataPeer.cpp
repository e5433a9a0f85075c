// Second process for the lock tests.
//   hold <program dir> <ms>          take the data lock, print "locked", hold it, exit
//   append <program dir> <from> <to> save new accounts from..to, one rewrite each
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
    return 2;
}
