#include "data/Paths.h"
#include "platform/render/FontMap.h"
#include "service/HeadlessService.h"
#include "service/ui/InstanceLock.h"
#include "service/ui/WindowService.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>

#include <cstdio>
#include <cstring>
#include <fontconfig/fontconfig.h>

namespace {

void say(const QString &text)
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

} // namespace

int main(int argc, char **argv)
{
    using namespace qm::service;
    // No options: the resident window service (it takes the single-instance lock itself).
    if (argc == 1)
        return qm::ui::runWindowService(argc, argv);
    if (argc != 2)
        return usage();
    HeadlessMode mode;
    if (std::strcmp(argv[1], "--headless") == 0)
        mode = HeadlessMode::Resident;
    else if (std::strcmp(argv[1], "--run-once") == 0)
        mode = HeadlessMode::RunOnce;
    else
        return usage();

    // Text faxes and printing draw with fonts, which need a GUI application; headless
    // runs use the offscreen platform, so no display is needed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
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
    qm::ui::InstanceLock instance(qm::filePaths().dataDir + QStringLiteral("/quillmarc.instance"));
    if (!instance.tryLock()) {
        say(QStringLiteral("quillmarc: ") +
            (instance.heldElsewhere() ? QStringLiteral("すでに起動しています。")
                                      : instance.error()));
        return kExitRefused;
    }
    const int code = RunHeadless(mode);
    // Tearing down the font database loads the system's font configuration when nothing
    // has loaded it yet: some 100 files and 10 ms of a cycle that drew nothing. An empty
    // configuration stands in for it then.
    if (!qm::fontsInUse())
        FcConfigSetCurrent(FcConfigCreate());
    return code;
}
