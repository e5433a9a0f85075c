#pragma once

#include <QString>
#include <optional>

namespace qm {

// Small ini files below Data/ (CP932, CR LF, "[Section]" and "Key=Value" lines).

// <program dir>/Data/<program file name without extension>.ini
QString GetIniPath();
// Same for a named program (tests, or a program that is not the running one).
QString iniPathFor(const QString& programName);

// The value of key in section; `fallback` when the file, section or key is missing.
QString ReadIniValue(const QString& file, const QString& section, const QString& key,
                     const QString& fallback);
// Sets key in section (creating file and section), atomically. False when it cannot be written.
bool WriteIniValue(const QString& file, const QString& section, const QString& key,
                   const QString& value, QString* error = nullptr);

// Section "WinPos": the main window's normal rectangle and show state.
struct WindowPlacement
{
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
    int showCmd = 1; // 1 normal, 2 minimised, 3 maximised
    bool operator==(const WindowPlacement&) const = default;
};

// Writes the five keys in the order Left, Right, Top, Bottom, showCmd.
bool saveWindowPlacement(const WindowPlacement& placement, QString* error = nullptr);
// `current` with each key present in the ini file replacing its value; current unchanged when
// there is no ini file. A key that is not a number keeps the current value.
WindowPlacement restoreWindowPlacement(const WindowPlacement& current);

} // namespace qm
