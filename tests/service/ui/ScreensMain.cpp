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
#include <QSystemTrayIcon>
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
    qm::WriteLog({"営業部 受付", "tanaka@example.co.jp", "FAX 03-1234-5678 送信完了"});
    qm::WriteLog({"営業部 受付", "№12", "転送条件一致"});
    qm::WriteLog({"総務", "suzuki@example.jp", "090-1111-2222@docomo.ne.jp 送信完了"});
    qm::WriteLog({"受信チェック", "", ""});
    window.ShowLog();
    window.show();
    ok &= save(&window, out + "/main.png");
    // Lines written later come in on top of what the view already shows.
    qm::WriteLog({"総務", "sato@example.jp", "転送条件一致"});
    qm::WriteLog({"受信チェック", "", ""});
    window.ShowLog();
    ok &= save(&window, out + "/main-later.png");

    // A broken account: error rows, the status line and the tray's warning.
    const QString refused =
        QStringLiteral("SMTPサーバー 127.0.0.1:2に接続できません。サーバーが止まっているか、"
                       "サーバー名かポート番号が違います。アカウントの編集で確かめてください。"
                       " 手順: 接続 (Failed to connect to 127.0.0.1 port 2 after 0 ms: "
                       "Couldn't connect to server)");
    qm::WriteLog({"総務",
                  "POP3サーバー pop.example.jp:110にログインできません。ユーザー名か"
                  "パスワード（または認証方式）が違います。プロバイダでの設定を確かめ、"
                  "アカウントの編集で直してください。 手順: ログイン (PASS) サーバーの応答: "
                  "-ERR [AUTH] Authentication failed. (Login denied)",
                  ""});
    qm::WriteLog({"営業部 受付", refused, ""});
    qm::WriteLog({"営業部 受付", "tanaka@example.co.jp", "451 4.3.0 try again later"});
    qm::WriteLog({"受信チェック", "", ""});
    window.ShowLog();
    window.showFault(QStringLiteral("営業部 受付"), refused);
    window.trayIcon()->show();
    ok &= save(&window, out + "/main-errors.png");
    window.resize(1200, window.height());
    ok &= save(&window, out + "/main-errors-wide.png");
    // QM_SCREENS_HOLD=seconds: the window stays on the desktop that long, for a screenshot of
    // the whole screen (window manager, tray and balloon).
    if (const int hold = qEnvironmentVariableIntValue("QM_SCREENS_HOLD"); hold > 0) {
        window.resize(960, 420);
        window.move(20, 40);
        QTimer::singleShot(500, [&] { window.showFault(QStringLiteral("総務"), refused); });
        QTimer::singleShot(hold * 1000, &app, &QApplication::quit);
        app.exec();
    }

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
