#include "cli/AccountCommands.h"
#include "cli/ManagerArguments.h"
#include "cli/SignInCommand.h"
#include "data/Paths.h"
#include "data/Privacy.h"
#include "manager/FormQuillmarcB.h"
#include "widgets/MessageBox.h"
#include "widgets/QtTranslations.h"

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

void write(std::FILE* to, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
}

void printUsage(std::FILE* to)
{
    write(to, QString::fromUtf8(kUsage) + qm::cli::accountCommandHelp() +
                  QStringLiteral(
                      "  --sign-in NN       アカウント NN をメールのプロバイダーにサインインします "
                      "(デバイス認可: 表示されるアドレスとコードを別の機械のブラウザーで入力)\n"));
}

int refuse(const QString& problem)
{
    write(stderr, QStringLiteral("quillmarcB: ") + problem + u'\n');
    printUsage(stderr);
    return qm::cli::kCommandUsage;
}

} // namespace

int main(int argc, char* argv[])
{
    qm::makeCreatedFilesPrivate();
    // Everything is read here, before Qt sees a window system: a mistake, a command or --help
    // works the same on a server without a display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const qm::cli::ManagerArguments parsed = qm::cli::parseManagerArguments(args);
    if (parsed.help) {
        printUsage(stdout);
        return qm::cli::kCommandDone;
    }
    if (!parsed.problem.isEmpty())
        return refuse(parsed.problem);
    const qm::DataHomeChoice home = qm::chooseDataHome(
        parsed.dataOption, QProcessEnvironment::systemEnvironment(), qm::executableDir());
    qm::setDataHome(home.dir);

    if (qm::cli::isSignInCommand(parsed.command)) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return qm::cli::runSignInCommand(parsed.command, out, err);
    }
    if (!parsed.command.isEmpty()) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return qm::cli::runAccountCommand(parsed.command, out, err);
    }
    if (!qm::cli::hasWindowSystem(QProcessEnvironment::systemEnvironment(), parsed, args)) {
        write(stderr, QStringLiteral("quillmarcB: 画面がないのでウィンドウを開けません "
                                     "(DISPLAY も WAYLAND_DISPLAY もありません)。\n"
                                     "画面のない所では --list、--add、--set-common などの"
                                     "コマンドを使ってください (quillmarcB --help)。\n"));
        return qm::cli::kNoDisplay;
    }

    // Only Qt's own window options reach it.
    std::vector<char*> qtArgs{argv[0]};
    for (int i : parsed.qtArguments)
        qtArgs.push_back(argv[i + 1]);
    int qtArgc = int(qtArgs.size());
    qtArgs.push_back(nullptr);
    QApplication app(qtArgc, qtArgs.data());
    QApplication::setApplicationName(QStringLiteral("quillmarcB"));
    qm::widgets::installQtTranslations();

    QString error;
    if (!qm::ensureDataDir(&error)) {
        qm::widgets::MessageBox::critical(nullptr, QStringLiteral("アカウント設定"), error);
        return 1;
    }
    qm::manager::FormQuillmarcB window;
    window.show();
    return app.exec();
}
