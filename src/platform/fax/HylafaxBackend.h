#pragma once

#include "data/FaxConfig.h"
#include "platform/fax/FaxBackend.h"

namespace qm {

// Queues jobs on a HylaFAX server through its sendfax client, started with an
// argument list (never a shell: the number comes from mail). Text and office
// files are rendered to PDF here first; PDF and TIFF go as they are.
class HylafaxBackend : public FaxBackend
{
public:
    HylafaxBackend(FaxConfig config, FaxDocumentConverter& converter);

    QString name() const override { return QStringLiteral("hylafax"); }
    bool isUsable(QString* why = nullptr) const override;
    FaxResult send(const FaxJob& job) override;
    // One faxstat of the send and done queues in a format of our own (JobFmt).
    std::optional<FaxJobStatuses> statuses(const QStringList& jobIds) override;

    // The argument list sendfax is started with (for the tests and the log).
    QStringList sendfaxArguments(const QString& dial, const QString& file) const;

private:
    FaxConfig m_config;
    FaxDocumentConverter& m_converter;
};

} // namespace qm
