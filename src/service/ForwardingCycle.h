#pragma once

namespace qm::service {

struct EngineContext;

// One forwarding cycle: reads the account file afresh and hands every usable account, one
// at a time, to reception. A line that is not a usable record is logged and skipped; the
// other accounts are still served.
void RunForwardingCycle(EngineContext& ctx);

} // namespace qm::service
