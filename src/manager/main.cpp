#include "data/Paths.h"
#include "data/Privacy.h"
#include "manager/AccountCommands.h"
#include "manager/FormQuillmarcB.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QTextStream>
#include <cstdio>

namespace {

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

} // namespace

int main(int argc, char* argv[])
{
    qm::makeCreatedFilesPrivate();
    const QStringList args = argumentsOf(argc, argv);
    if (args == QStringList{QStringLiteral("--help")}) {
        QTextStream(stdout) << QStringLiteral("使い方: quillmarcB [コマンド]\n"
                                              "  コマンドなし: アカウントの一覧画面\n")
                            << qm::manager::accountCommandHelp();
        return 0;
    }
    // Commands need no display: servers and scripts have none.
    if (qm::manager::isAccountCommand(args)) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return qm::manager::runAccountCommand(args, out, err);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillmarcB"));
    QString error;
    if (!qm::ensureDataDir(&error)) {
        qm::widgets::MessageBox::critical(nullptr, QStringLiteral("アカウント設定"), error);
        return 1;
    }
    qm::manager::FormQuillmarcB window;
    window.show();
    return app.exec();
}
