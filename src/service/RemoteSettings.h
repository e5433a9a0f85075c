#pragma once

#include <QString>

namespace qm::service {

struct EngineContext;

// A mail from the account's remote-control address (replyAddress, the sender's own
// address, which the answers go to and come from): when its subject is a command word, the
// command is checked, applied and answered, and the mail counts as handled (true).
// *stored (when given) becomes false when the change could not be written to the account
// file; the caller then keeps the mail for the next cycle.
bool HandleRemoteMail(EngineContext& ctx, const QString& subject, const QString& body,
                      const QString& accountNo, const QString& replyAddress,
                      bool* stored = nullptr);

} // namespace qm::service
