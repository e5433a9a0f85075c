#include "service/FaxServices.h"

#include "data/FaxConfig.h"
#include "data/Paths.h"
#include "platform/fax/FaxBackend.h"
#include "platform/render/FaxDocumentConverter.h"
#include "platform/render/OfficeSession.h"
#include "platform/system/RegistryStore.h"
#include "service/FaxTextSettings.h"

#include <QCoreApplication>
#include <QTimer>

namespace qm::service {

namespace {

// The office is slow to start (seconds) and quick per document, so one is kept for
// the documents of a cycle and ended after a minute without work.
constexpr int kOfficeIdleMs = 60000;

// Ended by the application's clean-up; never in static destruction, where waiting for a
// process is unsafe (a program that dies takes the office with it anyway).
OfficeSession* g_office = nullptr;
QTimer* g_idle = nullptr;

OfficeSession& office()
{
    if (!g_office) {
        g_office = new OfficeSession();
        qAddPostRoutine([] {
            delete g_office;
            g_office = nullptr;
        });
    }
    return *g_office;
}

void officeUsed()
{
    if (!QCoreApplication::instance())
        return;
    if (!g_idle) {
        g_idle = new QTimer(QCoreApplication::instance());
        g_idle->setSingleShot(true);
        QObject::connect(g_idle, &QTimer::timeout, [] { ShutDownFaxOffice(); });
        QObject::connect(QCoreApplication::instance(), &QObject::destroyed,
                         [] { g_idle = nullptr; });
    }
    g_idle->start(kOfficeIdleMs);
}

} // namespace

TextFaxStyle CurrentTextFaxStyle()
{
    TextFaxStyle style;
    const QString face =
        ReadRegistryValue(QString::fromUtf16(kTextFaxRoot), QString::fromUtf16(kTextFaxKey),
                          QString::fromUtf16(kTextFaxFace), RegistryType::String, QString())
            .toString();
    const int tenths =
        ReadRegistryValue(QString::fromUtf16(kTextFaxRoot), QString::fromUtf16(kTextFaxKey),
                          QString::fromUtf16(kTextFaxSize), RegistryType::Dword, 0)
            .toInt();
    if (!face.isEmpty())
        style.fontName = face;
    if (tenths > 0)
        style.pointSize = std::max(1, (tenths + 5) / 10);
    return style;
}

bool SendFax(const QString& displayName, const QString& filePath, const QString& faxNumber,
             QString* error)
{
    // The configuration is read for every job: it is tiny and may have been edited.
    const FaxConfig config = loadFaxConfig(filePaths().dataDir);
    FaxDocumentConverter converter(&office());
    converter.setTextStyle(CurrentTextFaxStyle());
    const auto backend = createFaxBackend(config, converter);
    const FaxResult result = backend->send({displayName, filePath, faxNumber});
    officeUsed();
    if (!result.ok && error)
        *error = result.error;
    return result.ok;
}

bool FaxBackendUsable(QString* why)
{
    const FaxConfig config = loadFaxConfig(filePaths().dataDir);
    FaxDocumentConverter converter;
    return createFaxBackend(config, converter)->isUsable(why);
}

void PrepareWorkbook(const QString& path)
{
    office().prepare(OfficeKind::Workbook, path);
    officeUsed();
}

void PrepareDocument(const QString& path)
{
    office().prepare(OfficeKind::Document, path);
    officeUsed();
}

void ShutDownFaxOffice()
{
    if (g_office)
        g_office->shutdown();
}

} // namespace qm::service
