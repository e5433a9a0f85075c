// Draws the service's windows with sample content into PNG files, to look at them:
//   qm_service_ui_screens <output folder>   (run under Xvfb, or with QT_QPA_PLATFORM=offscreen)
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "service/ui/FormCommon.h"
#include "service/ui/FormLogin.h"
#include "service/ui/FormQuillmarc.h"
#include "service/ui/FormVersion.h"
#include "service/ui/ProgramIcon.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace qm::ui;
using qm::widgets::MessageBox;

namespace {
void settle()
{
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool save(QWidget* w, const QString& file)
{
    settle();
    const bool ok = w->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    std::fflush(stdout);
    return ok;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    applyJapaneseFont();
    MessageBox::setAutoAnswer(true);
    if (argc < 2) {
        std::fputs("usage: qm_service_ui_screens <output folder>\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir dir;
    qm::setProgramDir(dir.path());
    qm::ensureDataDir();
    bool ok = true;

    // First run: the common settings dialog as it opens before anything exists.
    {
        FormCommon first;
        first.show();
        ok &= save(&first, out + "/common-first-run.png");
    }
    writeFile(qm::filePaths().settingsFile, "\"5\",\"24\",1,1,\"pw\",0,1,1,0\r\n");
    writeFile(qm::filePaths().accountFile, "\r\n");
    {
        FormCommon normal;
        normal.show();
        ok &= save(&normal, out + "/common.png");
    }

    FormQuillmarc window;
    if (!window.startUp())
        return 1;
    qm::WriteLog("営業部 受付", "tanaka@example.co.jp", "FAX 03-1234-5678 送信完了");
    qm::WriteLog("営業部 受付", "№12", "転送条件一致");
    qm::WriteLog("総務", "suzuki@example.jp", "090-1111-2222@docomo.ne.jp 送信完了");
    qm::WriteLog("受信チェック", "", "");
    window.ShowLog();
    window.show();
    ok &= save(&window, out + "/main.png");
    // Lines written later come in on top of what the view already shows.
    qm::WriteLog("総務", "sato@example.jp", "転送条件一致");
    qm::WriteLog("受信チェック", "", "");
    window.ShowLog();
    ok &= save(&window, out + "/main-later.png");

    for (QMenu* menu : {window.menuTray, window.menuFile, window.menuSetup, window.menuHelp}) {
        menu->popup(window.mapToGlobal(QPoint(40, 40)));
        ok &= save(menu, out + "/" + menu->objectName() + ".png");
        menu->hide();
    }

    PasswordGate gate(qm::filePaths().settingsFile, &window);
    QTimer::singleShot(100, [&] {
        if (auto* login = qobject_cast<FormLogin*>(QApplication::activeModalWidget())) {
            login->txtPassword->setText("secret");
            ok &= save(login, out + "/login.png");
            login->cmdCancel->click();
        }
    });
    gate.ask();

    FormVersion about(&window);
    about.show();
    ok &= save(&about, out + "/version.png");
    return ok ? 0 : 1;
}
