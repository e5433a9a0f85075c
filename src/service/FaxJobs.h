#pragma once

#include "data/FaxJobRecord.h"
#include "platform/fax/FaxBackend.h"

#include <QString>

namespace qm::mail {
struct ReceivedMessage;
}

namespace qm::service {

struct EngineContext;

// Who asked for a fax job, and so who hears of its outcome.
struct FaxRequester
{
    FaxJobRequest kind = FaxJobRequest::Account;
    QString sender; // the log's sender column; for a request, the mail's sender
};

// The address a request's outcome is answered to: the sender the request came from, as the
// other replies take it.
QString FaxReplyAddress(const QString& sender);

// After a job went to the backend: a queued job is recorded and followed (one the backend
// refused is only the caller's log line).
void FollowFaxJob(EngineContext& ctx, const FaxRequester& who, const FaxJob& job,
                  const FaxResult& result);

// Asks the backends how the current account's queued jobs stand. Each job that ended is one
// log line and, where Data/FaxPath.txt says so, a reply; it is asked no more.
void CheckFaxJobs(EngineContext& ctx);

// A delivery or failure notice of the fax gateway naming one of the current account's mail
// jobs completes that job; true when the message was such a notice (it is then not
// forwarded).
bool TakeMailFaxNotice(EngineContext& ctx, const mail::ReceivedMessage& message);

} // namespace qm::service
