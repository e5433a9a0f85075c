#pragma once

#include "platform/render/TextFaxRenderer.h"

#include <QString>

namespace qm {

class OfficeSession;

// Turns a faxable file into a PDF: txt through the text renderer with the current
// text style, doc/xls through the office, tif through libtiff, pdf as it is.
class FaxDocumentConverter
{
public:
    explicit FaxDocumentConverter(OfficeSession* office = nullptr);

    void setTextStyle(const TextFaxStyle& style) { m_style = style; }
    TextFaxStyle textStyle() const { return m_style; }
    void setOffice(OfficeSession* office) { m_office = office; }

    // Writes pdfPath. False with a reason when the type is unknown or rendering failed.
    bool toPdf(const QString& path, const QString& pdfPath, QString* error = nullptr);

    // Draws text on pages in the text style and writes pdfPath.
    bool textToPdf(const QString& text, const QString& pdfPath, QString* error = nullptr);

    // True when the file can be sent to a fax client as it is (pdf, tif).
    static bool isPassThrough(const QString& path);

private:
    OfficeSession* m_office;
    TextFaxStyle m_style;
};

} // namespace qm
