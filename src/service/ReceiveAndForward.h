#pragma once

#include <QString>

namespace qm::service {

struct EngineContext;
class PendingDeletions;

// One account's part of a cycle: fetch the mailbox, and take every message not yet handled
// through the per-message sequence. False after a run-time error (already reported).
bool ReceiveAndForward(EngineContext& ctx, const QString& accountNo);

// Deletes a stored message from the server (after the 2,000 ms pause). False (with a log
// line) when the server kept it; it is then tried again in later cycles.
bool DeleteServerMessage(EngineContext& ctx, const QString& messageFile, PendingDeletions& pending);

} // namespace qm::service
