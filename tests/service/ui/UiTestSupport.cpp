#include "UiTestSupport.h"

#include "data/Paths.h"
#include "service/ui/FormLogin.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace qm::ui::test {

void ProgramDirTest::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    m_programDir = m_dir.path();
    qm::setProgramDir(m_programDir);
    ASSERT_TRUE(QDir(m_programDir).mkpath(QStringLiteral("Data")));
    MessageBox::clearShown();
    MessageBox::clearAnswers();
}

void ProgramDirTest::TearDown()
{
    settle();
    qm::setProgramDir(QString());
}

QString ProgramDirTest::dataFile(const QString& name) const
{
    return m_programDir + QStringLiteral("/Data/") + name;
}

void ProgramDirTest::writeSettings(const QString& line)
{
    QFile f(dataFile(QStringLiteral("TimerSet.txt")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(line.toLatin1() + "\r\n");
}

void ProgramDirTest::writeAccountFile()
{
    QFile f(dataFile(QStringLiteral("account.crp")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\r\n");
}

void ProgramDirTest::installAccountManager(const QString& scriptBody)
{
    const QString path = m_programDir + QStringLiteral("/quillmarcB");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\ncd \"$(dirname \"$0\")\"\n" + scriptBody.toUtf8() + "\n");
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

QStringList ProgramDirTest::shownTexts() const
{
    QStringList texts;
    for (const auto& s : MessageBox::shown())
        texts << s.text;
    return texts;
}

void onNextModal(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && clock->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (!modal) {
            ADD_FAILURE() << "no modal dialog opened";
            return;
        }
        act(modal);
    });
    timer->start(10);
}

void answerPassword(const QString& text)
{
    onNextModal([text](QWidget* w) {
        auto* login = qobject_cast<FormLogin*>(w);
        ASSERT_NE(login, nullptr) << "expected the password dialog";
        login->txtPassword->setText(text);
        login->cmdOK->click();
    });
}

void cancelPassword()
{
    onNextModal([](QWidget* w) {
        auto* login = qobject_cast<FormLogin*>(w);
        ASSERT_NE(login, nullptr) << "expected the password dialog";
        login->cmdCancel->click();
    });
}

void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    do {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (t.elapsed() < ms);
}

} // namespace qm::ui::test
