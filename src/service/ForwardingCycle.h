#pragma once

#include "data/Paths.h"

#include <QString>

namespace qm::service {

struct EngineContext;

// One forwarding cycle: reads the account file afresh and hands every usable account, one
// at a time, to reception. A line that is not a usable record is logged and skipped; the
// other accounts are still served.
void RunForwardingCycle(EngineContext& ctx);

// The current account's font and print settings (defaults without a row).
void LoadFontSettings(EngineContext& ctx, const QString& accountNo);

} // namespace qm::service
