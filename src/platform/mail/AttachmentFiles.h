#pragma once

// Attachment files: a name from a mail never chooses where a file goes, and a later
// attachment never replaces an earlier one (the attachment index keeps earlier paths).

#include <QString>

namespace qm::mail {

// A plain file name made from whatever the mail said: no folders, no "..", no control
// or reserved characters, at most 100 characters with the extension kept. Empty or
// unusable names become "attachment" + fallbackExtension (".pdf").
QString safeAttachmentName(const QString& fromMail, const QString& fallbackExtension);

// Extension to use when a part of this MIME type comes without a name.
QString extensionForMimeType(const QString& mimeType);

// Creates a new, empty file for `name` in `folder`, adding " (2)", " (3)" ... before the
// extension when the name is taken. Returns an open descriptor and sets *path, or -1.
int createUniqueFile(const QString& folder, const QString& name, QString* path);

} // namespace qm::mail
