#pragma once

#include "platform/fax/FaxStation.h"
#include "platform/mail/MailLibrary.h"
#include "platform/print/ForwardTextPrinter.h"
#include "service/EngineContext.h"

namespace qm::service {

// The system's own mail library, fax station and printer, for a program's engine context.
struct SystemParts
{
    explicit SystemParts(const QString& dataDir) : fax(dataDir) { fax.setMailLibrary(&mail); }

    void attach(EngineContext& ctx)
    {
        ctx.mail = &mail;
        ctx.fax = &fax;
        ctx.printer = &printer;
    }

    mail::SystemMailLibrary mail;
    SystemFaxStation fax;
    SystemPrinter printer;
};

} // namespace qm::service
