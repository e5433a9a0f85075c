// Text faxes and print-outs of the service program: drawn by the quillmarc-draw helper, so
// that the service itself never loads the GUI libraries (a cycle that draws nothing would
// pay for them at every start).

#include "data/Paths.h"
#include "platform/deferred/ProgramFiles.h"
#include "platform/print/ForwardTextPrinter.h"
#include "platform/render/DrawRequest.h"
#include "platform/render/TextFaxRenderer.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryFile>

namespace qm {

namespace {

// A print-out may wait for a slow spooler; a helper that takes longer than this is stuck.
constexpr int kHelperTimeoutMs = 300000;

draw::Answer runHelper(const draw::Request& request)
{
    draw::Answer answer;
    const QString helper = executableDir() + QLatin1Char('/') + QLatin1String(kDrawHelperFile);
    QTemporaryFile answerFile(QDir::temp().filePath(QStringLiteral("quillmarc-draw-XXXXXX")));
    if (!answerFile.open()) {
        answer.error =
            QStringLiteral("一時ファイルを作れません (%1)").arg(answerFile.errorString());
        return answer;
    }
    answerFile.close();
    QProcess p;
    // The helper's diagnostics belong with the service's own.
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(helper, {answerFile.fileName()});
    if (!p.waitForStarted()) {
        answer.error = QStringLiteral("%1 を起動できません (%2)").arg(helper, p.errorString());
        return answer;
    }
    p.write(draw::encode(request));
    p.closeWriteChannel();
    if (!p.waitForFinished(kHelperTimeoutMs)) {
        p.kill();
        p.waitForFinished();
        answer.error = QStringLiteral("%1 が終わりません").arg(helper);
        return answer;
    }
    QByteArray reply;
    if (answerFile.open())
        reply = answerFile.readAll();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 ||
        !draw::decode(reply, &answer)) {
        answer = {};
        answer.error = QStringLiteral("%1 が異常終了しました").arg(helper);
    }
    return answer;
}

} // namespace

bool renderTextToPdf(const QString& text, const TextFaxStyle& style, const QString& pdfPath,
                     QString* error, int* pages)
{
    draw::Request request;
    request.kind = draw::Request::RenderFax;
    request.text = text;
    request.fontName = style.fontName;
    request.pointSize = style.pointSize;
    request.pdfPath = pdfPath;
    const draw::Answer answer = runHelper(request);
    if (error)
        *error = answer.error;
    if (pages)
        *pages = answer.pages;
    return answer.ok;
}

PrintResult printForwardText(const QString& text, const QString& fontName, int pointSize,
                             const PrintTarget& target)
{
    draw::Request request;
    request.kind = draw::Request::PrintText;
    request.text = text;
    request.fontName = fontName;
    request.pointSize = pointSize;
    request.pdfPath = target.pdfFile;
    request.printerName = target.printerName;
    const draw::Answer answer = runHelper(request);
    PrintResult result;
    result.ok = answer.ok;
    result.error = answer.error;
    result.printerName = answer.printerName;
    for (const qint32 lines : answer.linesPerPage)
        result.linesPerPage << int(lines);
    return result;
}

} // namespace qm
