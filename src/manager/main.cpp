#include "data/Paths.h"
#include "data/Privacy.h"
#include "manager/AccountCommands.h"
#include "manager/FormQuillmarcB.h"
#include "manager/SignInCommand.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QProcessEnvironment>
#include <QTextStream>
#include <cstdio>
#include <vector>

namespace {

const char* const kUsage =
    "使い方: quillmarcB [--data フォルダ] [コマンド]\n"
    "  コマンドなしでアカウントの一覧と設定のウィンドウを開きます。\n"
    "  --data フォルダ    データの場所を指定します\n"
    "  --help             この説明を表示します\n"
    "データの場所 (最初に当てはまるもの):\n"
    "  1. --data のフォルダ\n"
    "  2. 環境変数 QUILLMARC_DATA のフォルダ (quillmarc から起動されたときは quillmarc "
    "と同じ場所)\n"
    "  3. プログラムのフォルダ (Data/ があるか書き込めるとき。/usr/bin などは除く)\n"
    "  4. $XDG_DATA_HOME/quillmarc (既定は ~/.local/share/quillmarc)\n"
    "その下の Data/ に共有のファイルを置きます。\n"
    "コマンド (画面のない所でも使えます):\n";

void printUsage(std::FILE* to)
{
    const QByteArray text =
        (QString::fromUtf8(kUsage) + qm::manager::accountCommandHelp() +
         QStringLiteral(
             "  --sign-in NN       アカウント NN をメールのプロバイダーにサインインします "
             "(デバイス認可: 表示されるアドレスとコードを別の機械のブラウザーで入力)\n"))
            .toLocal8Bit();
    std::fwrite(text.constData(), 1, size_t(text.size()), to);
}

int refuse(const QString& problem)
{
    const QByteArray text = (QStringLiteral("quillmarcB: ") + problem + u'\n').toLocal8Bit();
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    printUsage(stderr);
    return qm::manager::kCommandUsage;
}

} // namespace

int main(int argc, char* argv[])
{
    qm::makeCreatedFilesPrivate();
    // Our options are taken out here; whatever else there is goes to the command or to Qt
    // (-style and its kin).
    QString dataOption;
    QStringList rest;
    std::vector<char*> qtArgs{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printUsage(stdout);
            return 0;
        }
        QString value;
        if (arg == QLatin1String("--data")) {
            value = i + 1 < argc ? QString::fromLocal8Bit(argv[++i]) : QString();
        } else if (arg.startsWith(QLatin1String("--data="))) {
            value = arg.mid(7);
        } else {
            rest << arg;
            qtArgs.push_back(argv[i]);
            continue;
        }
        if (value.isEmpty())
            return refuse(QStringLiteral("--data にフォルダがありません。"));
        if (!dataOption.isEmpty())
            return refuse(QStringLiteral("--data は一度だけ指定できます。"));
        dataOption = value;
    }
    const qm::DataHomeChoice home = qm::chooseDataHome(
        dataOption, QProcessEnvironment::systemEnvironment(), qm::executableDir());
    qm::setDataHome(home.dir);

    // Commands need no display: servers and scripts have none.
    if (qm::manager::isSignInCommand(rest)) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return qm::manager::runSignInCommand(rest, out, err);
    }
    if (qm::manager::isAccountCommand(rest)) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return qm::manager::runAccountCommand(rest, out, err);
    }

    int qtArgc = int(qtArgs.size());
    qtArgs.push_back(nullptr);
    QApplication app(qtArgc, qtArgs.data());
    QApplication::setApplicationName(QStringLiteral("quillmarcB"));
    // Qt has taken its own options by now; anything left is a mistake, not a wish to ignore.
    const QStringList unknown = QCoreApplication::arguments().mid(1);
    if (!unknown.isEmpty())
        return refuse(QStringLiteral("知らないオプションです: ") + unknown.join(u' '));

    QString error;
    if (!qm::ensureDataDir(&error)) {
        qm::widgets::MessageBox::critical(nullptr, QStringLiteral("アカウント設定"), error);
        return 1;
    }
    qm::manager::FormQuillmarcB window;
    window.show();
    return app.exec();
}
