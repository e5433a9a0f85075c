#pragma once

#include "platform/mail/MailLibrary.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace qm {

class FaxDocumentConverter;
struct FaxConfig;

// One fax job: queued, not transmitted; success means the job was accepted.
struct FaxJob
{
    QString displayName;
    QString filePath; // the document; empty for a text job
    QString number;
    // The account the job is sent for: the mail backend sends through its server and from
    // its address where Data/FaxPath.txt names none.
    mail::SmtpServer accountSmtp = {};
    QString accountAddress = {};
    // A text job: the page is drawn from this text, in the station's text style.
    std::optional<QString> text = {};
};

struct FaxResult
{
    bool ok = false;
    QString jobId;        // spool job name, HylaFAX request id or the gateway mail's job name
    QString error;        // why it failed, for the log and the tests
    int pages = 0;        // pages of the fax as rendered; 0 when not known
    QString backend = {}; // the name of the backend that took it (set by the station)
};

// How a queued job stands, as its backend tells it.
struct FaxJobStatus
{
    enum class State { Pending, Sent, Failed };
    State state = State::Pending;
    QString reason; // the backend's own words, for a failure
    int pages = 0;  // pages sent; 0 when not known
    int tries = 0;  // dials made; 0 when not known
};

using FaxJobStatuses = QHash<QString, FaxJobStatus>;

class FaxBackend
{
public:
    virtual ~FaxBackend() = default;

    virtual QString name() const = 0;
    // Whether jobs can be queued at all (what faxPlatform means here).
    virtual bool isUsable(QString* why = nullptr) const = 0;
    // Queues one job. Never throws; a bad number or an unreadable file is a failure.
    virtual FaxResult send(const FaxJob& job) = 0;
    // The state of jobs it queued, by job id; a job it cannot tell of is left out (still
    // pending). Nothing when the backend could not be asked at all: ask again later.
    virtual std::optional<FaxJobStatuses> statuses(const QStringList& jobIds) = 0;
};

// The backend chosen by the configuration. The converter turns txt/doc/xls/pdf/tif
// files into what the backend needs; it must outlive the backend, and so must the mail
// library, which only the mail backend uses.
std::unique_ptr<FaxBackend> createFaxBackend(const FaxConfig& config,
                                             FaxDocumentConverter& converter,
                                             mail::MailLibrary* mail = nullptr);

// What every backend checks before it sends: the job's number as it is dialled; empty, with
// why set to the refusal the log shows, when it is not a fax number or there is no document.
QString faxJobDialString(const FaxJob& job, QString* why);
// The job's document as a PDF: its text drawn, or its file converted.
bool faxJobToPdf(FaxDocumentConverter& converter, const FaxJob& job, const QString& pdfPath,
                 QString* error);

// Pages of a PDF as Ghostscript counts them; 0 when it cannot tell.
int pdfPageCount(const QString& pdfPath);

} // namespace qm
