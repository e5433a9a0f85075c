#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What the service asks of its drawing helper (quillmarc-draw) and what it answers. The
// helper draws with fonts, which need the GUI libraries; a service without a window keeps
// them out of its own process, so a cycle that draws nothing never loads them.
namespace qm::draw {

struct Request
{
    enum Kind : qint32 { RenderFax = 1, PrintText = 2 };
    qint32 kind = RenderFax;
    QString text;
    QString fontName;
    qint32 pointSize = 0;
    QString pdfPath;     // RenderFax: the PDF to write; PrintText: a PDF instead of a printer
    QString printerName; // PrintText: empty for the default printer
};

struct Answer
{
    bool ok = false;
    QString error;
    qint32 pages = 0;
    QList<qint32> linesPerPage;
    QString printerName;
};

QByteArray encode(const Request& request);
QByteArray encode(const Answer& answer);
// False for bytes that are not one whole record of the kind asked for.
bool decode(const QByteArray& bytes, Request* request);
bool decode(const QByteArray& bytes, Answer* answer);

} // namespace qm::draw
