#include "manager/SystemVersion.h"

#include "data/FaxConfig.h"
#include "data/Paths.h"

#include <QSysInfo>

namespace qm::manager {

bool faxBackendUsable(QString* why)
{
    // The service also asks the fax server whether it runs; the editor does not wait on the
    // network, since numbers may be entered while the server is briefly down.
    return faxBackendInstalled(loadFaxConfig(filePaths().dataDir), why);
}

SystemVersion currentSystemVersion()
{
    SystemVersion version;
    version.text =
        QStringLiteral("%1 / %2 %3")
            .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion());
    version.faxEntry = faxBackendUsable();
    return version;
}

} // namespace qm::manager
