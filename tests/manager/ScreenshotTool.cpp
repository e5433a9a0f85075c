// Renders the account manager's windows to PNG files for a visual check:
//   xvfb-run -a manager_screenshots <out dir>
#include "data/AccountFile.h"
#include "data/AccountRecord.h"
#include "data/HandOverFiles.h"
#include "data/MailSecurity.h"
#include "data/Paths.h"
#include "manager/FormQuillmarcB.h"
#include "manager/FormQuillmarcBAccount.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QTemporaryDir dir;
    qm::setProgramDir(dir.path());
    qm::ensureDataDir();

    qm::AccountRecord rec = qm::newAccountTemplate(QStringLiteral("01"));
    rec.SourceAddress = QStringLiteral("office@example.jp");
    rec.PopServer = QStringLiteral("pop.example.jp");
    rec.ForwardTo = QStringLiteral("boss@example.jp\tphone@example.ne.jp");
    qm::saveAccount(rec);
    rec = qm::newAccountTemplate(QStringLiteral("02"));
    rec.AccountName = QStringLiteral("営業部の受付窓口");
    rec.ForwardState = QStringLiteral("2");
    qm::saveAccount(rec);

    qm::WriteModeFile(QStringLiteral("Edit"));
    qm::manager::FormQuillmarcB list;
    list.show();
    QTest::qWait(200);
    list.grab().save(out + QStringLiteral("/list.png"));

    qm::writeHandOverRecord(QStringLiteral("01"));
    qm::manager::FormQuillmarcBAccount editor;
    editor.show();
    QTest::qWait(200);
    editor.grab().save(out + QStringLiteral("/editor-account.png"));
    // Second look with the optional parts switched on.
    editor.CheckPhone->setChecked(true);
    editor.CheckSMTP->setChecked(true);
    editor.chkPrint->setChecked(true);
    editor.tbsOptions->setCurrentIndex(1);
    QTest::qWait(200);
    editor.grab().save(out + QStringLiteral("/editor-filter.png"));
    editor.tbsOptions->setCurrentIndex(0);
    QTest::qWait(200);
    editor.grab().save(out + QStringLiteral("/editor-account-on.png"));
    editor.tbsOptions->setCurrentIndex(3);
    QTest::qWait(200);
    editor.grab().save(out + QStringLiteral("/editor-signin.png"));

    // The connection tab after the service was refused a certificate.
    qm::saveMailConnectionValues(QStringLiteral("01"), qm::newAccountMailSecurity());
    qm::recordRefusedCertificate(
        QStringLiteral("01"), true,
        {QStringLiteral("3A:9F:0C:44:21:B7:5E:8D:90:12:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:"
                        "67:89:AB:CD:EF:01:23:45"),
         QStringLiteral("/CN=mail.example.jp")});
    qm::manager::FormQuillmarcBAccount connection;
    connection.show();
    connection.tbsOptions->setCurrentIndex(2);
    QTest::qWait(200);
    connection.grab().save(out + QStringLiteral("/editor-connection.png"));
    return 0;
}
