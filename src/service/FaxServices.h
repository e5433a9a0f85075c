#pragma once

#include "platform/render/TextFaxRenderer.h"

#include <QString>

namespace qm::service {

// One fax job through the backend chosen by Data/FaxPath.txt: true when it was queued.
// error (optional) says why not. No message box, no log: the callers log.
bool SendFax(const QString& displayName, const QString& filePath, const QString& faxNumber,
             QString* error = nullptr);

// Whether the configured backend can take jobs on this machine (faxPlatform).
// why (optional) tells what is missing.
bool FaxBackendUsable(QString* why = nullptr);

// Page setup of a stored workbook / document for the fax, saved in place. Never
// reports an error: a file that cannot be set up is faxed unchanged.
void PrepareWorkbook(const QString& path);
void PrepareDocument(const QString& path);

// The text style the fax renderer uses now (its settings in the registry stand-in).
TextFaxStyle CurrentTextFaxStyle();

// Ends the office kept for the documents of a cycle (also done after a minute idle).
void ShutDownFaxOffice();

} // namespace qm::service
