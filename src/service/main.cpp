#include "data/Paths.h"
#include "platform/deferred/DeferredMail.h"
#include "platform/deferred/ModuleLoader.h"
#include "platform/deferred/ProgramFiles.h"
#include "service/ForwardingCycle.h"
#include "service/HeadlessService.h"
#include "service/InstanceLock.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <cstdlib>
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

// The window and everything it shows live in a module beside the executable, so that
// the runs without a window start with the core libraries only.
int runWindowService(int argc, char** argv)
{
    QString error;
    using Entry = int (*)(int, char**);
    const auto entry = reinterpret_cast<Entry>(
        qm::loadModuleEntry(QLatin1String(qm::kWindowModuleFile), "qm_window_service_v1", &error));
    if (!entry) {
        say(QStringLiteral("quillmarc: ") + error);
        return qm::service::kExitRefused;
    }
    return entry(argc, argv);
}

// The service without a window, once the application object exists.
int serve(qm::service::HeadlessMode mode)
{
    using namespace qm::service;
    QCoreApplication::setApplicationName(QStringLiteral("quillmarc"));

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
    // The first cycle's first collection: its module loads and its server answers while the
    // cycle gets ready. A resident service waits for its first cycle, so it only loads.
    const QString firstServer =
        mode == HeadlessMode::RunOnce ? FirstCollectedServer(qm::filePaths()) : QString();
    qm::mail::prepareFirstCollection(firstServer);
    return RunHeadless(mode);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace qm::service;
    // No options: the resident window service (it takes the single-instance lock itself).
    if (argc == 1)
        return runWindowService(argc, argv);
    if (argc != 2)
        return usage();
    HeadlessMode mode;
    if (std::strcmp(argv[1], "--headless") == 0)
        mode = HeadlessMode::Resident;
    else if (std::strcmp(argv[1], "--run-once") == 0)
        mode = HeadlessMode::RunOnce;
    else
        return usage();

    // A cycle with accounts to serve collects mail first: its module loads from the start.
    if (QFileInfo(qm::filePaths().accountFile).size() > 0)
        qm::mail::preloadMailLibrary();
    int code;
    {
        QCoreApplication app(argc, argv);
        code = serve(mode);
    } // the application's clean-up ends what the cycle started (the fax office)
    if (mode == HeadlessMode::RunOnce) {
        // Everything is on disk by now (every rewrite is synced); unloading the libraries
        // one by one would only keep the caller waiting.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
