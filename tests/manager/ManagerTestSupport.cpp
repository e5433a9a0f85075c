#include "ManagerTestSupport.h"

#include "data/AccountRecord.h"
#include "data/AtomicFile.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "manager/FormQuillmarcBAccount.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>

using qm::widgets::MessageBox;

void ManagerTest::SetUpTestSuite()
{
    if (!qApp) {
        static int argc = 1;
        static char name[] = "manager_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("quillmarcB"));
    }
}

void ManagerTest::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    qm::setProgramDir(m_dir.path());
    ASSERT_TRUE(qm::ensureDataDir());
    MessageBox::clearShown();
    MessageBox::clearAnswers();
    MessageBox::setAutoAnswer(true);
}

void ManagerTest::TearDown()
{
    qm::setAtomicWriteHook({});
    MessageBox::clearShown();
    MessageBox::clearAnswers();
    qm::setProgramDir(QString());
}

QString ManagerTest::dataPath(const QString& name) const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("Data/") + name);
}

void ManagerTest::writeMode(const QString& word)
{
    writeData(QStringLiteral("quillmarc.prm"), {QStringLiteral("\"%1\"").arg(word)});
}

void ManagerTest::writeData(const QString& name, const QStringList& lines)
{
    ASSERT_TRUE(qm::writeTextLines(dataPath(name), lines));
}

QStringList ManagerTest::dataLines(const QString& name) const
{
    return qm::readTextLines(dataPath(name)).value_or(QStringList());
}

QByteArray ManagerTest::bytes(const QString& name) const
{
    return qm::readFileBytes(dataPath(name)).value_or(QByteArray());
}

QStringList ManagerTest::accountFields(const QString& no) const
{
    for (const QString& line : accountLines()) {
        const QStringList fields = qm::splitSettingsLine(line);
        if (fields.value(0) == no)
            return fields;
    }
    return {};
}

QStringList ManagerTest::shownTexts()
{
    QStringList texts;
    for (const auto& shown : MessageBox::shown())
        texts.append(shown.text);
    return texts;
}

QString ManagerTest::workingLine(const QString& no, const QString& name, const QString& state)
{
    qm::AccountRecord rec = qm::newAccountTemplate(no);
    rec.AccountName = name;
    rec.ForwardState = state;
    rec.SourceAddress = QStringLiteral("src%1@example.jp").arg(no);
    rec.PopUserId = QStringLiteral("user%1").arg(no);
    rec.PopPassword = QStringLiteral("pw%1").arg(no);
    rec.PopServer = QStringLiteral("pop.example.jp");
    rec.SmtpServer = QStringLiteral("smtp.example.jp");
    rec.ForwardTo = QStringLiteral("to%1@example.jp").arg(no);
    return qm::buildReplacedLine(rec);
}

void ManagerTest::fillRequired(qm::manager::FormQuillmarcBAccount& e)
{
    e.txtRcvAddress->setText(QStringLiteral("office@example.jp"));
    e.txtRcvUserID->setText(QStringLiteral("office"));
    e.txtRcvPassword->setText(QStringLiteral("secret"));
    e.txtRcvPOP->setText(QStringLiteral("pop.example.jp"));
    e.txtRcvSMTP->setText(QStringLiteral("smtp.example.jp"));
    e.txtSndTo->setPlainText(QStringLiteral("boss@example.jp"));
}

// Fontconfig keeps its caches until exit on purpose; that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
