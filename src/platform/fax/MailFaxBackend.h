#pragma once

#include "data/FaxConfig.h"
#include "platform/fax/FaxBackend.h"

namespace qm {

// Internet fax by mail: the job's pages, rendered as for any fax, as one PDF attached to a
// mail to the gateway's address made from the number (mail-to in Data/FaxPath.txt). The
// mail's subject names the job, so the gateway's notice can be matched to it; the backend
// itself knows nothing of the outcome after the server took the mail.
class MailFaxBackend : public FaxBackend
{
public:
    MailFaxBackend(FaxConfig config, FaxDocumentConverter& converter, mail::MailLibrary* mail);

    QString name() const override { return QStringLiteral("mail"); }
    bool isUsable(QString* why = nullptr) const override;
    FaxResult send(const FaxJob& job) override;
    // Notices arrive by mail, so every job stays pending here.
    std::optional<FaxJobStatuses> statuses(const QStringList&) override { return FaxJobStatuses{}; }

private:
    FaxConfig m_config;
    FaxDocumentConverter& m_converter;
    mail::MailLibrary* m_mail;
};

// A new job name for a gateway mail: letters, digits and "-" only, unlikely to repeat.
QString newMailFaxJobId();

} // namespace qm
