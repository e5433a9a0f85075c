#pragma once

#include <QString>

namespace qm {

struct TextFaxStyle
{
    QString fontName = QStringLiteral("ＭＳ ゴシック"); // as the account stores it
    int pointSize = 11;
};

// Renders plain text on A4 pages (margins like a text editor's print-out, long
// lines wrapped) to a PDF. Needs a QGuiApplication (the offscreen platform will do).
bool renderTextToPdf(const QString& text, const TextFaxStyle& style, const QString& pdfPath,
                     QString* error = nullptr, int* pages = nullptr);

} // namespace qm
