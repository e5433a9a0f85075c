#pragma once

#include <QString>
#include <QtGlobal>

namespace qm {

// The common settings, Data/TimerSet.txt (one line, nine fields).
struct TimerSettings
{
    qint16 intervalMinutes = 5;
    qint16 logRetentionHours = 24;
    qint16 remoteSettingsAllowed = 1;
    qint16 passwordOn = 0;
    QString password;
    qint16 checkAtStart = 0;
    qint16 checkAtExit = 0;
    qint16 checkAtAccountSetting = 0;
    qint16 detailLog = 0;

    // Not stored: how the values were found.
    bool fileExists = false; // false: the file is missing and these are the defaults
    int fieldCount = 0;      // fields on the line read (the dialog shows detailLog only when > 8)
    QString rawRemoteSettings = QStringLiteral("1"); // field 2 as text (the editor tests != "0")

    bool operator==(const TimerSettings& o) const;
};

// Reads Data/TimerSet.txt. A missing file gives the defaults. A number field that is not a
// signed 16-bit number falls back to that field's default (warning, if given, names them).
TimerSettings LoadTimerSettings(QString* warning = nullptr);
TimerSettings readTimerSettings(const QString& path, QString* warning = nullptr);

// Writes the nine fields (text boxes quoted, check boxes bare) as one line, atomically.
// Refuses a password holding "," or a double quote (the line could not carry it).
bool SaveTimerSettings(const TimerSettings& settings, QString* error = nullptr);
bool writeTimerSettings(const QString& path, const TimerSettings& settings,
                        QString* error = nullptr);

} // namespace qm
