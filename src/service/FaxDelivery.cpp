#include "service/FaxDelivery.h"

#include "service/EngineContext.h"

// Until fax and print arrive, no machine counts as able to fax, so the cycle never calls
// the fax routines; printing does nothing.
namespace qm::service {

bool DetectFaxPlatform()
{
    return false;
}

bool FaxMessage(EngineContext &, const QString &, const QString &, const QString &,
                const QString &, const QString &)
{
    return true;
}

bool FaxStoredAttachment(EngineContext &, const QString &, const QString &, const QString &)
{
    return true;
}

void PrintForwardText(EngineContext &, const QString &) {}

} // namespace qm::service
