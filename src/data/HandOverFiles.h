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

// Data/MAILFAX.txt: the text to be faxed, written exactly (no line end added).
bool writeMailFaxText(const QString& text, QString* error = nullptr);
std::optional<QString> readMailFaxText(QString* error = nullptr);

} // namespace qm
