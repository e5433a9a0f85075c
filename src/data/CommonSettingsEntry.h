#pragma once

#include "data/TimerSettings.h"

#include <QString>
#include <optional>

namespace qm {

// The common settings as the dialog (or the command line) hands them over: the two numbers
// as typed, the switches, the password.
struct CommonSettingsEntry
{
    QString intervalMinutes;
    QString logRetentionHours;
    bool remoteSettingsAllowed = true;
    bool passwordOn = false;
    QString password;
    bool checkAtStart = false;
    bool checkAtExit = false;
    bool checkAtAccountSetting = false;
    bool detailLog = false;
};

enum class CommonSettingsField { IntervalMinutes, LogRetentionHours, Password };

struct CommonSettingsProblem
{
    CommonSettingsField field;
    QString message; // shown as it is, titled "共通設定"
    QString summary; // the same on one line, for the command line: no step number, the range
};

// The dialog's checks, in its order: the first problem, or nullopt when it can be saved.
std::optional<CommonSettingsProblem> validateCommonSettings(const CommonSettingsEntry& entry);

// The entry as stored (numbers as the service reads them back), and the stored settings as
// the dialog shows them.
TimerSettings timerSettingsOf(const CommonSettingsEntry& entry);
CommonSettingsEntry commonSettingsEntryOf(const TimerSettings& settings);

} // namespace qm
