#pragma once

#include <QString>

namespace qm {

// Loads a module that ships beside the executable (see ProgramFiles.h) and finds its entry.
// Null with a reason in *error when either fails. Modules stay loaded until the process ends.
void* loadModuleEntry(const QString& fileName, const char* entry, QString* error);
// The same for a module at a full path; safe on any thread.
void* loadModuleEntryAt(const QString& path, const char* entry, QString* error);

} // namespace qm
