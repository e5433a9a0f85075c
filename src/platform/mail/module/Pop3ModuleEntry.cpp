// The entry of the quillmarc-pop3 module.

#include "platform/mail/MailModule.h"
#include "platform/mail/MailTransport.h"

namespace {

class Module final : public qm::mail::Pop3Module
{
public:
    qm::mail::MailResult RcvMail(const QString& server, const QString& user,
                                 const QString& password, const QString& command,
                                 const QString& folder) override
    {
        return qm::mail::RcvMail(server, user, password, command, folder);
    }
    qm::mail::MailTimeouts timeouts() override { return qm::mail::mailTimeouts(); }
    void adoptConnection(int socket) override { qm::mail::adoptConnection(socket); }
    void dropConnection() override { qm::mail::dropAdoptedConnection(); }
};

} // namespace

extern "C" __attribute__((visibility("default"))) qm::mail::Pop3Module* qm_pop3_module_v1()
{
    static Module module;
    return &module;
}
