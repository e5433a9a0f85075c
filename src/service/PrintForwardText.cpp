#include "service/PrintForwardText.h"

#include "platform/print/ForwardTextPrinter.h"
#include "service/EngineContext.h"

namespace qm::service {

void PrintForwardText(EngineContext& ctx, const QString& text)
{
    bool ok = false;
    int size = ctx.font.printFontSize.trimmed().toInt(&ok);
    if (!ok || size < 1)
        size = 11;
    const PrintResult r = ctx.printer->print(text, ctx.font.printFontName, size);
    if (!r.ok) {
        // No printer is not worth a dialog in the middle of a cycle: the log says it.
        ctx.log({.account = ctx.account.accountName,
                 .sender = QStringLiteral("印刷できません"),
                 .destination = r.error});
    }
}

} // namespace qm::service
