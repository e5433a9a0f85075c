#pragma once

#include <QString>

namespace qm {

// Every file the two programs share lives below <program dir>/Data. The table is
// built once from the program directory; tests point it at a temp folder.
struct FilePaths
{
    QString programDir;        // folder of the running executable (or the test override)
    QString dataDir;           // <program dir>/Data
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
    QString logWriteCopy;      // Data/quillmarc.tmp (plain; consumed by the log view)
    QString modeFile;          // Data/quillmarc.prm
    QString mailFaxFile;       // Data/MAILFAX.txt
    QString delStringFile;     // Data/DelString.txt
    QString delStringWorkCopy; // Data/DelString.tmp
    QString faxPathFile;       // Data/FaxPath.txt
    QString faxOptFile;        // Data/FaxOpt.txt
    QString faxOptWorkCopy;    // Data/FaxOpt.tmp
    QString lockFile;          // Data/quillmarc.lock (shared by both programs)
    QString registryStore;     // Data/registry.ini (stand-in for the system registry)
    QString encryptionMarker;  // Data/encryption.on (its presence means encryption is on)
    QString accountManager;    // <program dir>/quillmarcB
};

// Folder of the running executable, unless overridden by setProgramDir().
QString programDir();
// The folder of the running executable itself, whatever programDir says; the program's
// modules and helpers sit there.
QString executableDir();

// Points every path at another program folder (tests, or a relocated install).
// Rebuilds the table returned by filePaths(). An empty dir returns to the executable's folder.
void setProgramDir(const QString& dir);

// Builds the path table for a program folder (pure; no file access).
FilePaths SetFilePaths(const QString& programDir);

// The table for the current program directory.
const FilePaths& filePaths();

// Creates <program dir>/Data when it is missing. False + error text when it cannot.
bool ensureDataDir(QString* error = nullptr);

// Per-account work folders: <program dir>/MlTmp<NN>, with Attach/ and Data/ below it.
QString workFolder(const QString& accountNo);
QString workAttachFolder(const QString& accountNo);
QString workDataFolder(const QString& accountNo);

// Creates MlTmp<NN>, its Attach/ and Data/ where they are missing.
bool ensureWorkFolders(const QString& accountNo, QString* error = nullptr);

} // namespace qm
