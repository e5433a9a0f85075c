#pragma once

#include <QString>
#include <optional>

namespace qm {

// Mode hand-over file Data/quillmarc.prm: one quoted word + CR LF.
// Words: "Append", "Edit", "Delete" (for the account manager), "Suspended".
bool WriteModeFile(const QString& command, QString* error = nullptr);
// Field 0 of the first line; nullopt when the file is missing or unreadable.
std::optional<QString> readModeFile();
bool modeFileExists();
bool deleteModeFile(QString* error = nullptr);

} // namespace qm
