#pragma once

#include "platform/mail/MailLibrary.h"

// The mail library as modules the service loads on first use. The transport and MIME
// libraries they bring cost more than the rest of a cycle's start; a cycle with nothing new
// loads only the collection module, which leaves the MIME library out.
namespace qm::mail {

// Collection and deletion (RcvMail), with libcurl only.
class Pop3Module
{
public:
    virtual ~Pop3Module() = default;
    virtual MailResult RcvMail(const QString& server, const QString& user, const QString& password,
                               const QString& command, const QString& folder) = 0;
    virtual MailTimeouts timeouts() = 0;
    // A TCP connection opened while the module was loading; the module owns it now. The next
    // session to the address it is connected to uses it instead of connecting.
    virtual void adoptConnection(int socket) = 0;
    // Closes an adopted connection that no session took.
    virtual void dropConnection() = 0;
};

// The whole library.
class MailModule
{
public:
    virtual ~MailModule() = default;
    virtual MailLibrary& library() = 0;
};

// Each module's one exported symbol: extern "C" Pop3Module *qm_pop3_module_v1(), and
// extern "C" MailModule *qm_mail_module_v1().
inline constexpr char kPop3ModuleEntry[] = "qm_pop3_module_v1";
inline constexpr char kMailModuleEntry[] = "qm_mail_module_v1";
using Pop3ModuleEntry = Pop3Module* (*)();
using MailModuleEntry = MailModule* (*)();

} // namespace qm::mail
