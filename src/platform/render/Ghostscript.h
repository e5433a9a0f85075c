#pragma once

#include <QString>

namespace qm {

// PDF -> multi-page fax TIFF: CCITT G3, 1728 pixels wide, A4, 204x196 (fine) or 204x98.
bool pdfToFaxTiff(const QString& pdfPath, const QString& tiffPath, bool fine,
                  QString* error = nullptr);

// Sets every page's PageNumber tag to (its index, the number of pages) in place.
bool setTiffPageTotals(const QString& tiffPath, QString* error = nullptr);

// TIFF (any, multi-page) -> PDF, so that it can be re-rendered for the fax.
bool tiffToPdf(const QString& tiffPath, const QString& pdfPath, QString* error = nullptr);

} // namespace qm
