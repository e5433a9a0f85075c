#include "platform/mail/MailLibrary.h"

namespace qm::mail {

namespace {

// The real library: forwards to the free functions above.
class SystemMailLibrary final : public MailLibrary
{
public:
    MailResult RcvMail(const QString& server, const QString& user, const QString& password,
                       const QString& command, const QString& folder) override
    {
        return mail::RcvMail(server, user, password, command, folder);
    }
    MailResult ReadMail(const QString& messageFile, const QString& fieldList,
                        const QString& attachmentFolder) override
    {
        return mail::ReadMail(messageFile, fieldList, attachmentFolder);
    }
    QString SendMail(const QString& server, const QString& recipients, const QString& sender,
                     const QString& subject, const QString& body,
                     const QString& attachments) override
    {
        return mail::SendMail(server, recipients, sender, subject, body, attachments);
    }
};

} // namespace

MailLibrary& systemMailLibrary()
{
    static SystemMailLibrary library;
    return library;
}

} // namespace qm::mail
