#pragma once

#include <QString>

namespace qm {

// A file can be faxed when the last three characters of its path are exactly
// tif, TIF, doc, DOC, xls, XLS, txt, TXT, PDF or pdf (report.Doc cannot).
bool isFaxableFile(const QString& path);

} // namespace qm
