// quillmarc-draw ANSWER_FILE: renders a text fax or prints a forward text for a service that
// keeps the GUI libraries out of its own process. One request on standard input, the answer
// in ANSWER_FILE. Standard output and error are left to diagnostics (the font library, for
// one, writes its own to standard output).

#include "platform/print/ForwardTextPrinter.h"
#include "platform/render/DrawRequest.h"
#include "platform/render/TextFaxRenderer.h"

#include <QFile>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    using namespace qm;
    QFile in;
    QByteArray bytes;
    if (in.open(stdin, QIODevice::ReadOnly))
        bytes = in.readAll();
    draw::Request request;
    if (argc != 2 || !draw::decode(bytes, &request)) {
        std::fputs("usage: quillmarc-draw ANSWER_FILE < request (the request was not readable)\n",
                   stderr);
        return 2;
    }

    // Nothing is shown: the offscreen platform gives fonts without a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    draw::Answer answer;
    if (request.kind == draw::Request::RenderFax) {
        const TextFaxStyle style{request.fontName, request.pointSize};
        int pages = 0;
        answer.ok = renderTextToPdf(request.text, style, request.pdfPath, &answer.error, &pages);
        answer.pages = pages;
    } else {
        const PrintResult r = printForwardText(request.text, request.fontName, request.pointSize,
                                               PrintTarget{request.printerName, request.pdfPath});
        answer.ok = r.ok;
        answer.error = r.error;
        answer.printerName = r.printerName;
        for (const int lines : r.linesPerPage)
            answer.linesPerPage << lines;
    }

    QFile out(QFile::decodeName(argv[1]));
    const QByteArray reply = draw::encode(answer);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(reply) != reply.size() ||
        !out.flush()) {
        std::fputs("quillmarc-draw: cannot write the answer file\n", stderr);
        return 2;
    }
    return 0;
}
