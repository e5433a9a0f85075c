#pragma once

#include "platform/fax/FaxBackend.h"
#include "platform/render/OfficeSession.h"
#include "platform/render/TextFaxRenderer.h"

#include <QString>
#include <memory>

class QTimer;

namespace qm {

// What the forwarding engine faxes through: the backend chosen by Data/FaxPath.txt, the
// text renderer and the office that sets up documents.
class FaxStation
{
public:
    virtual ~FaxStation() = default;

    // Whether jobs can be queued on this machine (faxPlatform); why tells what is missing.
    virtual bool isUsable(QString* why = nullptr) = 0;
    // Queues one job; a text file is drawn in textStyle. No message box, no log: callers log.
    virtual FaxResult send(const FaxJob& job, const TextFaxStyle& textStyle) = 0;
    // Page setup of a stored workbook or document for the fax, saved in place. Never fails
    // loudly: a file that cannot be set up is faxed unchanged.
    virtual void prepare(OfficeKind kind, const QString& path) = 0;
    // How the jobs a backend (by its name in the record) queued stand now; nothing when it
    // could not be asked.
    virtual std::optional<FaxJobStatuses> jobStatuses(const QString& backend,
                                                      const QStringList& jobIds) = 0;
};

class SystemFaxStation final : public FaxStation
{
public:
    explicit SystemFaxStation(QString dataDir);
    ~SystemFaxStation() override;

    bool isUsable(QString* why = nullptr) override;
    FaxResult send(const FaxJob& job, const TextFaxStyle& textStyle) override;
    void prepare(OfficeKind kind, const QString& path) override;
    std::optional<FaxJobStatuses> jobStatuses(const QString& backend,
                                              const QStringList& jobIds) override;

    // The mail backend sends through it; it must outlive the station.
    void setMailLibrary(mail::MailLibrary* mail) { m_mail = mail; }

private:
    void officeUsed();

    QString m_dataDir;
    mail::MailLibrary* m_mail = nullptr;
    OfficeSession m_office;
    std::unique_ptr<QTimer> m_idle;
};

} // namespace qm
