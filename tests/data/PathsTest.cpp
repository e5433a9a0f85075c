#include "DataFixture.h"

#include <QProcessEnvironment>

using namespace qm;

namespace {

QProcessEnvironment environment(std::initializer_list<std::pair<const char*, QString>> vars)
{
    QProcessEnvironment env;
    for (const auto& [name, value] : vars)
        env.insert(QString::fromLatin1(name), value);
    return env;
}

} // namespace

TEST(DataHome, ChosenByOptionThenEnvironmentThenProgramFolderThenUserDataHome)
{
    QTemporaryDir program;
    const QString absProgram = QDir(program.path()).absolutePath();
    const QProcessEnvironment home = environment({{"HOME", QStringLiteral("/home/fax")}});
    QProcessEnvironment withData = home;
    withData.insert(QStringLiteral("QUILLMARC_DATA"), QStringLiteral("/srv/qm"));

    DataHomeChoice c = chooseDataHome(QStringLiteral("/var/lib/quillmarc"), withData, absProgram);
    EXPECT_EQ(c.dir, QStringLiteral("/var/lib/quillmarc"));
    EXPECT_EQ(c.source, DataHomeSource::Option);
    c = chooseDataHome(QStringLiteral("rel/qm"), withData, absProgram);
    EXPECT_EQ(c.dir, QDir::current().absoluteFilePath(QStringLiteral("rel/qm")));

    c = chooseDataHome(QString(), withData, absProgram);
    EXPECT_EQ(c.dir, QStringLiteral("/srv/qm"));
    EXPECT_EQ(c.source, DataHomeSource::Environment);

    // A writable program folder is today's portable install; an empty variable counts as unset.
    QProcessEnvironment emptyData = home;
    emptyData.insert(QStringLiteral("QUILLMARC_DATA"), QString());
    c = chooseDataHome(QString(), emptyData, absProgram);
    EXPECT_EQ(c.dir, absProgram);
    EXPECT_EQ(c.source, DataHomeSource::ProgramFolder);

    // /usr/bin, even for root who may write it, and a folder this user cannot write.
    for (const QString& folder :
         {QStringLiteral("/usr/bin"), absProgram + QStringLiteral("/gone")}) {
        c = chooseDataHome(QString(), home, folder);
        EXPECT_EQ(c.dir, QStringLiteral("/home/fax/.local/share/quillmarc"))
            << folder.toStdString();
        EXPECT_EQ(c.source, DataHomeSource::UserDataHome);
    }
    QProcessEnvironment xdg = home;
    xdg.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("/data/fax"));
    EXPECT_EQ(chooseDataHome(QString(), xdg, QStringLiteral("/usr/bin")).dir,
              QStringLiteral("/data/fax/quillmarc"));
    xdg.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("relative"));
    EXPECT_EQ(chooseDataHome(QString(), xdg, QStringLiteral("/usr/bin")).dir,
              QStringLiteral("/home/fax/.local/share/quillmarc"));
}

TEST_F(DataTest, ADataHomeElsewhereTakesDataAndWorkFoldersButNotTheAccountManager)
{
    QTemporaryDir other;
    setDataHome(other.path());
    const QString home = QDir(other.path()).absolutePath();
    const QString program = QDir(m_dir.path()).absolutePath();
    EXPECT_EQ(paths().accountFile, home + QStringLiteral("/Data/account.crp"));
    EXPECT_EQ(workFolder(QStringLiteral("07")), home + QStringLiteral("/MlTmp07"));
    EXPECT_EQ(paths().accountManager, program + QStringLiteral("/quillmarcB"));
    setDataHome(QString());
    EXPECT_EQ(paths().accountFile, program + QStringLiteral("/Data/account.crp"));
    EXPECT_EQ(workFolder(QStringLiteral("07")), program + QStringLiteral("/MlTmp07"));
}
