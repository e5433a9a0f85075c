#pragma once

#include <QString>

namespace qm::service {

struct EngineContext;

// The current account's font and print settings (defaults without a row).
void LoadFontSettings(EngineContext& ctx, const QString& accountNo);

} // namespace qm::service
