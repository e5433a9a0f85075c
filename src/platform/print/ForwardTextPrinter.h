#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace qm {

// Lines per page by print font size: 10 -> 60, 11 -> 58, 12 -> 56, 14 -> 54.
// Other sizes: 0 here, the printer derives a count from the font's line height.
int tableLinesPerPage(int pointSize);

// The printed lines of a forward text: split at line breaks; a final empty piece
// (after the last line break) is not a line.
QStringList forwardTextLines(const QString& text);

// Splits lines into pages of at most linesPerPage.
QList<QStringList> paginateLines(const QStringList& lines, int linesPerPage);

struct PrintTarget
{
    QString printerName; // empty: the default printer
    QString pdfFile;     // non-empty: write this PDF instead of printing (no CUPS)
};

struct PrintResult
{
    bool ok = false;
    QList<int> linesPerPage; // lines printed on each page
    QString printerName;
    QString error;
};

// Prints the text with the given font (Windows name, mapped like the fax font) and
// size on A4: each line at column 5, row k+3 of the page's character grid.
// No printer: a failure with a reason, never a crash. Needs a QGuiApplication.
PrintResult printTextPages(const QString& text, const QString& fontName, int pointSize,
                           const PrintTarget& target = {});

// What the forwarding engine prints through.
class Printer
{
public:
    virtual ~Printer() = default;
    virtual PrintResult print(const QString& text, const QString& fontName, int pointSize) = 0;
};

// The default printer.
class SystemPrinter final : public Printer
{
public:
    PrintResult print(const QString& text, const QString& fontName, int pointSize) override
    {
        return printTextPages(text, fontName, pointSize);
    }
};

} // namespace qm
