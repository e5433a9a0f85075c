#include "service/EngineContext.h"

#include "platform/mail/MailLibrary.h"

#include <QCoreApplication>
#include <QThread>

namespace qm::service {

void EngineContext::reportError(const QString& description)
{
    ++errorsReported;
    if (inCycle) {
        logFault(QStringLiteral("error\t") + description, description);
        return;
    }
    if (screen)
        screen->messageBox(description, QStringLiteral("quillmarc"), BoxIcon::Critical,
                           BoxButtons::Ok);
}

void EngineContext::log(const LogLine& line)
{
    WriteLog(line);
    if (screen)
        screen->showLog();
}

bool EngineContext::logOncePerCycle(const QString& accountNo, const QString& kind,
                                    const LogLine& line)
{
    const QString key = accountNo + QLatin1Char('\t') + kind;
    if (noticesThisCycle.contains(key))
        return false;
    noticesThisCycle.insert(key);
    log(line);
    return true;
}

bool EngineContext::logFault(const QString& kind, const QString& text)
{
    const bool known = !account.accountNo.isEmpty();
    const QString name =
        known && !account.accountName.isEmpty() ? account.accountName : QStringLiteral("quillmarc");
    if (!logOncePerCycle(known ? account.accountNo : QString(), kind,
                         {.account = name, .sender = text}))
        return false;
    ++faultsThisCycle;
    if (screen)
        screen->faultLogged(name, text);
    return true;
}

void EngineContext::sleep(int milliseconds)
{
    if (wait)
        wait(milliseconds);
    else
        QThread::msleep(ulong(milliseconds));
}

mail::MailLibrary& EngineContext::mailLibrary()
{
    Q_ASSERT(mail);
    return *mail;
}

FaxStation& EngineContext::faxStation()
{
    Q_ASSERT(fax);
    return *fax;
}

void EngineContext::processEvents()
{
    if (screen)
        screen->processEvents();
    else if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace qm::service
