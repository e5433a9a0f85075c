#pragma once

#include <QString>

namespace qm::service {

struct EngineContext;

// Prints the text on the default printer in the account's print font.
void PrintForwardText(EngineContext& ctx, const QString& text);

} // namespace qm::service
