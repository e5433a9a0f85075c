#include "service/LoadFontSettings.h"

#include "data/AccountSettings.h"
#include "service/EngineContext.h"

namespace qm::service {

void LoadFontSettings(EngineContext& ctx, const QString& accountNo)
{
    ctx.font = fontSettingsFor(accountNo);
}

} // namespace qm::service
