#pragma once

#include <QString>

namespace qm::test {

// Copies the service program (its executable and every module and helper beside it) into
// dir, as a user's program folder holds it. False with a reason when a file is missing.
bool installProgram(const QString& executable, const QString& dir, QString* error = nullptr);

} // namespace qm::test
