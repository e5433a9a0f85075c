#pragma once

#include <QString>

namespace qm::service {

struct EngineContext;

// One account's part of a cycle: fetch the mailbox, and take every message not yet handled
// through the per-message sequence. False after a run-time error (already reported).
bool ReceiveAndForward(EngineContext& ctx, const QString& accountNo);

// Deletes the message at a 1-based position from the server (after the 2,000 ms pause).
// False (with a log line) when the server kept it: later positions then have not moved up.
bool DeleteServerMessage(EngineContext& ctx, int position);

} // namespace qm::service
