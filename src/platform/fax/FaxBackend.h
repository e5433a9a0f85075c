#pragma once

#include <QString>
#include <memory>

namespace qm {

class FaxDocumentConverter;
struct FaxConfig;

// One fax job: queued, not transmitted; success means the job was accepted.
struct FaxJob
{
    QString displayName;
    QString filePath;
    QString number;
};

struct FaxResult
{
    bool ok = false;
    QString jobId; // spool job name or HylaFAX request id
    QString error; // why it failed, for the log and the tests
};

class FaxBackend
{
public:
    virtual ~FaxBackend() = default;

    virtual QString name() const = 0;
    // Whether jobs can be queued at all (what faxPlatform means here).
    virtual bool isUsable(QString* why = nullptr) const = 0;
    // Queues one job. Never throws; a bad number or an unreadable file is a failure.
    virtual FaxResult send(const FaxJob& job) = 0;
};

// The backend chosen by the configuration. The converter turns txt/doc/xls/pdf/tif
// files into what the backend needs; it must outlive the backend.
std::unique_ptr<FaxBackend> createFaxBackend(const FaxConfig& config,
                                             FaxDocumentConverter& converter);

} // namespace qm
