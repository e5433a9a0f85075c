#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/Privacy.h"
#include "service/HeadlessService.h"
#include "service/InstanceLock.h"
#include "service/ui/WindowService.h"

#include <QGuiApplication>
#include <QString>
#include <cstdio>
#include <cstring>

namespace {

void say(const QString& text)
{
    const QByteArray bytes = (text + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

int usage()
{
    say(QStringLiteral("使い方: quillmarc [--headless | --run-once]\n"
                       "  --headless  ウィンドウなしで常駐し、SIGTERM で終了します\n"
                       "  --run-once  転送処理を1回行って終了します\n"
                       "終了コード: 0 正常、1 転送処理中にエラー、2 起動できない"));
    return qm::service::kExitRefused;
}

// Passwords and other people's mail must not be open to every local user; said in the log
// at every start until it is mended.
void warnOfSharedData()
{
    const qm::FilePaths& paths = qm::filePaths();
    const QString warning = qm::sharedDataWarning(paths.dataDir, paths.accountFile);
    if (!warning.isEmpty())
        qm::WriteLog(QStringLiteral("quillmarc"), warning, QString());
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
    // The same lock as the window service: one service (or one-off cycle) per program folder.
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
    // No options: the resident window service (it takes the single-instance lock itself).
    if (argc == 1) {
        warnOfSharedData();
        return qm::ui::runWindowService(argc, argv);
    }
    if (argc != 2)
        return usage();
    HeadlessMode mode;
    if (std::strcmp(argv[1], "--headless") == 0)
        mode = HeadlessMode::Resident;
    else if (std::strcmp(argv[1], "--run-once") == 0)
        mode = HeadlessMode::RunOnce;
    else
        return usage();

    // Text faxes and print-outs are drawn without a display, whatever the session has.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("quillmarc"));
    return serve(mode);
}
