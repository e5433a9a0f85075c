#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/Privacy.h"
#include "service/ConsoleLog.h"
#include "service/HeadlessService.h"
#include "service/InstanceLock.h"
#include "service/ui/WindowService.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcessEnvironment>
#include <QString>
#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qm::service::LogPriority;
using qm::service::writeConsoleMessage;

const char* const kUsage =
    "使い方: quillmarc [--data フォルダ] [--headless | --run-once]\n"
    "  (オプションなし)   ウィンドウとトレイアイコンで常駐します\n"
    "  --headless         ウィンドウなしで常駐します。SIGTERM で終了し、SIGHUP で共通設定を\n"
    "                     読み直します\n"
    "  --run-once         転送処理を1回行って終了します\n"
    "  --data フォルダ    データの場所を指定します\n"
    "  --help             この説明を表示します\n"
    "データの場所 (最初に当てはまるもの):\n"
    "  1. --data のフォルダ\n"
    "  2. 環境変数 QUILLMARC_DATA のフォルダ\n"
    "  3. プログラムのフォルダ (Data/ があるか書き込めるとき。/usr/bin などは除く)\n"
    "  4. $XDG_DATA_HOME/quillmarc (既定は ~/.local/share/quillmarc)\n"
    "その下の Data/ に共有のファイルを、MlTmpNN に作業フォルダを置きます。\n"
    "アカウント管理の quillmarcB にも同じ場所を渡します。\n"
    "終了コード: 0 正常、1 転送処理中にエラー、2 起動できない\n";

void say(const QString& text)
{
    writeConsoleMessage(LogPriority::Error, text);
}

struct Options
{
    enum class Mode { Window, Headless, RunOnce, Help } mode = Mode::Window;
    QString dataHome;
};

std::optional<Options> parseOptions(int argc, char** argv, QString* problem)
{
    Options options;
    bool modeGiven = false;
    bool dataGiven = false;
    const auto setMode = [&](Options::Mode mode) {
        if (modeGiven && options.mode != mode)
            return false;
        modeGiven = true;
        options.mode = mode;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.mode = Options::Mode::Help;
            return options;
        }
        if (arg == QLatin1String("--headless") || arg == QLatin1String("--run-once")) {
            if (!setMode(arg == QLatin1String("--headless") ? Options::Mode::Headless
                                                            : Options::Mode::RunOnce)) {
                *problem = QStringLiteral("--headless と --run-once は一緒に使えません。");
                return std::nullopt;
            }
            continue;
        }
        QString value;
        if (arg == QLatin1String("--data")) {
            if (i + 1 >= argc) {
                *problem = QStringLiteral("--data にフォルダがありません。");
                return std::nullopt;
            }
            value = QString::fromLocal8Bit(argv[++i]);
        } else if (arg.startsWith(QLatin1String("--data="))) {
            value = arg.mid(7);
        } else {
            *problem = QStringLiteral("知らないオプションです: ") + arg;
            return std::nullopt;
        }
        if (value.isEmpty() || dataGiven) {
            *problem = value.isEmpty() ? QStringLiteral("--data にフォルダがありません。")
                                       : QStringLiteral("--data は一度だけ指定できます。");
            return std::nullopt;
        }
        dataGiven = true;
        options.dataHome = value;
    }
    return options;
}

// Whether a window can be shown at all: a display, or a platform chosen on purpose.
bool hasWindowSystem()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// Passwords and other people's mail must not be open to every local user; said in the log
// at every start until it is mended.
void warnOfSharedData()
{
    const qm::FilePaths& paths = qm::filePaths();
    const QString warning = qm::sharedDataWarning(paths.dataDir, paths.accountFile, paths.dataHome);
    if (!warning.isEmpty())
        qm::WriteLog({.account = QStringLiteral("quillmarc"), .sender = warning});
}

// The service without a window, once the application object exists.
int serve(qm::service::HeadlessMode mode)
{
    using namespace qm::service;
    QString error;
    if (!qm::ensureDataDir(&error)) {
        say(QStringLiteral("quillmarc: ") + error);
        return kExitRefused;
    }
    const QString problem = HeadlessStartProblem();
    if (!problem.isEmpty()) {
        say(QStringLiteral("quillmarc: ") + problem);
        return kExitRefused;
    }
    // The same lock as the window service: one service (or one-off cycle) per data folder.
    InstanceLock instance(qm::filePaths().dataDir + QStringLiteral("/quillmarc.instance"));
    if (!instance.tryLock()) {
        say(QStringLiteral("quillmarc: ") + (instance.heldElsewhere()
                                                 ? QStringLiteral("すでに起動しています。")
                                                 : instance.error()));
        return kExitRefused;
    }
    warnOfSharedData();
    return RunHeadless(mode);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace qm::service;
    qm::makeCreatedFilesPrivate();
    QString problem;
    const std::optional<Options> options = parseOptions(argc, argv, &problem);
    if (!options) {
        say(QStringLiteral("quillmarc: ") + problem + u'\n' + QString::fromUtf8(kUsage));
        return kExitRefused;
    }
    if (options->mode == Options::Mode::Help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }

    const qm::DataHomeChoice home = qm::chooseDataHome(
        options->dataHome, QProcessEnvironment::systemEnvironment(), qm::executableDir());
    qm::setDataHome(home.dir);
    // quillmarcB, started from the account menus, inherits this and so works on the same data.
    qputenv("QUILLMARC_DATA", QFile::encodeName(home.dir));

    // Qt sees no option of ours: a folder named like one of Qt's own options stays a folder.
    char* qtArgv[] = {argv[0], nullptr};
    int qtArgc = 1;
    // The window service takes the single-instance lock itself.
    if (options->mode == Options::Mode::Window) {
        // Qt would abort in its platform plugin; a server is served by --headless.
        if (!hasWindowSystem()) {
            say(QStringLiteral("quillmarc: ウィンドウを表示できません (DISPLAY も WAYLAND_DISPLAY "
                               "もありません)。画面のないマシンでは quillmarc --headless で常駐"
                               "させるか、quillmarc --run-once で1回だけ転送してください。"));
            return kExitRefused;
        }
        warnOfSharedData();
        return qm::ui::runWindowService(qtArgc, qtArgv);
    }

    // Text faxes and print-outs are drawn without a display, whatever the session has.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a runtime folder; outside a login session this is the one it would take anyway,
    // made without its warning on every run.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray runtime =
            QFile::encodeName(QDir::tempPath()) + "/runtime-" + QByteArray::number(::getuid());
        ::mkdir(runtime.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
    routeQtMessagesToJournal();
    QGuiApplication app(qtArgc, qtArgv);
    QGuiApplication::setApplicationName(QStringLiteral("quillmarc"));
    return serve(options->mode == Options::Mode::Headless ? HeadlessMode::Resident
                                                          : HeadlessMode::RunOnce);
}
