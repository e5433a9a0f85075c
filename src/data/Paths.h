#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace qm {

// Every file the two programs share lives below <data home>/Data, and the per-account work
// folders beside it. The data home is the program folder of a portable install, or the
// folder chosen by chooseDataHome. The table is built once; tests point it at a temp folder.
struct FilePaths
{
    QString programDir;        // folder of the running executable (or the test override)
    QString dataHome;          // holds Data/ and the MlTmpNN work folders
    QString dataDir;           // <data home>/Data
    QString settingsFile;      // Data/TimerSet.txt
    QString oldFontFile;       // Data/FontSet.txt
    QString fontTable;         // Data/FontData.txt
    QString fontWorkCopy;      // Data/FontData.tmp
    QString accountFile;       // Data/account.crp
    QString accountReadCopy;   // Data/account.dec (left-overs are removed; reads decrypt in memory)
    QString accountWorkCopy;   // Data/account.tmp
    QString accountWriteCopy;  // Data/account.new
    QString handOverRecord;    // Data/account.txt
    QString logFile;           // Data/quillmarc.log
    QString logReadCopy;       // Data/quillmarc.dec
    QString logWriteCopy;      // Data/quillmarc.tmp: left by older versions, removed at start
    QString modeFile;          // Data/quillmarc.prm
    QString delStringFile;     // Data/DelString.txt
    QString delStringWorkCopy; // Data/DelString.tmp
    QString faxPathFile;       // Data/FaxPath.txt
    QString faxOptFile;        // Data/FaxOpt.txt
    QString faxOptWorkCopy;    // Data/FaxOpt.tmp
    QString mailConnFile;      // Data/MailConn.txt (per-account mail connection settings)
    QString lockFile;          // Data/quillmarc.lock (shared by both programs)
    QString encryptionMarker;  // Data/encryption.on (its presence means encryption is on)
    QString accountManager;    // <program dir>/quillmarcB
};

// Folder of the running executable, unless overridden by setProgramDir().
QString programDir();
// The data home in use: the one set by setDataHome(), else the program folder.
QString dataHome();
// The folder of the running executable itself, whatever programDir says; the program's
// modules and helpers sit there.
QString executableDir();

// Points every path at another program folder (tests, or a relocated install).
// Rebuilds the table returned by filePaths(). An empty dir returns to the executable's folder.
void setProgramDir(const QString& dir);

// Points the shared files and work folders at another data home, leaving the program folder
// (and with it quillmarcB) where it is. An empty dir returns to the program folder.
void setDataHome(const QString& dir);

enum class DataHomeSource { Option, Environment, ProgramFolder, UserDataHome };

struct DataHomeChoice
{
    QString dir; // absolute
    DataHomeSource source = DataHomeSource::ProgramFolder;
};

// Where the data lives, in the order both programs use:
//   1. the --data option (option, when not empty);
//   2. QUILLMARC_DATA;
//   3. the program folder, when it already holds Data/ or this user may write it, and is not
//      one of the system's shared program folders (/usr/bin and its kin, which root may write);
//   4. $XDG_DATA_HOME/quillmarc, or ~/.local/share/quillmarc when that is unset or relative.
// Relative folders count from the current directory. No folder is created here.
DataHomeChoice chooseDataHome(const QString& option, const QProcessEnvironment& env,
                              const QString& programFolder);

// Builds the path table for a program folder that is also the data home (pure; no file access).
FilePaths SetFilePaths(const QString& programDir);
// The same for a data home elsewhere.
FilePaths SetFilePaths(const QString& programDir, const QString& dataHome);

// The table for the current program directory.
const FilePaths& filePaths();

// Creates <data home>/Data when it is missing. False + error text when it cannot.
bool ensureDataDir(QString* error = nullptr);

// Per-account work folders: <data home>/MlTmp<NN>, with Attach/ and Data/ below it.
QString workFolder(const QString& accountNo);
QString workAttachFolder(const QString& accountNo);
QString workDataFolder(const QString& accountNo);

// Creates MlTmp<NN>, its Attach/ and Data/ where they are missing.
bool ensureWorkFolders(const QString& accountNo, QString* error = nullptr);

} // namespace qm
