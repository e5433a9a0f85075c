#pragma once

#include "platform/fax/FaxBackend.h"

namespace qm {

// Each job becomes <id>.tif (Class F style: G3, 204x196 or 204x98, A4 width 1728)
// and <id>.job (settings lines: number, dial, name, time, source, pages) in the spool
// folder. The TIFF is written first; a job file only ever names a complete TIFF.
// Whoever sends the spool's jobs tells how one ended with <id>.done or <id>.failed beside
// it: settings lines "reason", "pages", "tries" (all optional; a line without a key is the
// reason).
class SpoolFaxBackend : public FaxBackend
{
public:
    SpoolFaxBackend(QString spoolDir, bool fineResolution, FaxDocumentConverter& converter);

    QString name() const override { return QStringLiteral("spool"); }
    bool isUsable(QString* why = nullptr) const override;
    FaxResult send(const FaxJob& job) override;
    std::optional<FaxJobStatuses> statuses(const QStringList& jobIds) override;

    QString spoolDir() const { return m_spoolDir; }

private:
    QString nextJobId() const;

    QString m_spoolDir;
    bool m_fine;
    FaxDocumentConverter& m_converter;
};

} // namespace qm
