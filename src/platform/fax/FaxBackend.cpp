#include "platform/fax/FaxBackend.h"

#include "data/FaxConfig.h"
#include "platform/fax/HylafaxBackend.h"
#include "platform/fax/SpoolFaxBackend.h"

namespace qm {

std::unique_ptr<FaxBackend> createFaxBackend(const FaxConfig& config,
                                             FaxDocumentConverter& converter)
{
    if (config.backend == FaxConfig::Backend::Hylafax)
        return std::make_unique<HylafaxBackend>(config, converter);
    return std::make_unique<SpoolFaxBackend>(config.spoolDir, config.fineResolution, converter);
}

} // namespace qm
