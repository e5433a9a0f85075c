#include "platform/fax/FaxStation.h"

#include "data/FaxConfig.h"
#include "platform/render/FaxDocumentConverter.h"

#include <QTimer>

namespace qm {

namespace {
// The office is slow to start (seconds) and quick per document, so one is kept for the
// documents of a cycle and ended after a minute without work.
constexpr int kOfficeIdleMs = 60000;
} // namespace

SystemFaxStation::SystemFaxStation(QString dataDir) : m_dataDir(std::move(dataDir)) {}

SystemFaxStation::~SystemFaxStation() = default;

bool SystemFaxStation::isUsable(QString* why)
{
    const FaxConfig config = loadFaxConfig(m_dataDir);
    FaxDocumentConverter converter;
    return createFaxBackend(config, converter, m_mail)->isUsable(why);
}

FaxResult SystemFaxStation::send(const FaxJob& job, const TextFaxStyle& textStyle)
{
    // Read for every job: it is tiny and may have been edited.
    const FaxConfig config = loadFaxConfig(m_dataDir);
    FaxDocumentConverter converter(&m_office);
    converter.setTextStyle(textStyle);
    const auto backend = createFaxBackend(config, converter, m_mail);
    FaxResult result = backend->send(job);
    result.backend = backend->name();
    officeUsed();
    return result;
}

void SystemFaxStation::prepare(OfficeKind kind, const QString& path)
{
    m_office.prepare(kind, path);
    officeUsed();
}

std::optional<FaxJobStatuses> SystemFaxStation::jobStatuses(const QString& backend,
                                                            const QStringList& jobIds)
{
    // The backend the jobs went to, in today's settings (host, spool folder).
    FaxConfig config = loadFaxConfig(m_dataDir);
    const auto kind = faxBackendNamed(backend);
    if (!kind)
        return std::nullopt;
    config.backend = *kind;
    FaxDocumentConverter converter;
    return createFaxBackend(config, converter, m_mail)->statuses(jobIds);
}

void SystemFaxStation::officeUsed()
{
    if (!m_office.isRunning())
        return;
    if (!m_idle) {
        m_idle = std::make_unique<QTimer>();
        m_idle->setSingleShot(true);
        QObject::connect(m_idle.get(), &QTimer::timeout, [this] { m_office.shutdown(); });
    }
    m_idle->start(kOfficeIdleMs);
}

} // namespace qm
