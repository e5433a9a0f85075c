// The entry of the quillmarc-mail module.

#include "platform/mail/MailModule.h"

namespace {

class Module final : public qm::mail::MailModule
{
public:
    qm::mail::MailLibrary& library() override { return qm::mail::systemMailLibrary(); }
};

} // namespace

extern "C" __attribute__((visibility("default"))) qm::mail::MailModule* qm_mail_module_v1()
{
    static Module module;
    return &module;
}
