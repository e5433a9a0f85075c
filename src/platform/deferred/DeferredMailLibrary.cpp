// The mail library of the service program: the mail modules, loaded when a cycle first needs
// them. The first collection connects to its server while the collection module loads.

#include "data/Paths.h"
#include "platform/deferred/DeferredMail.h"
#include "platform/deferred/EarlyConnection.h"
#include "platform/deferred/ModuleLoader.h"
#include "platform/deferred/ProgramFiles.h"
#include "platform/mail/MailModule.h"

#include <algorithm>
#include <future>
#include <memory>
#include <utility>

namespace qm::mail {

namespace {

// An early connection slower than this is left for the module to make again.
constexpr int kEarlyConnectionWaitMs = 3000;

// One module: loaded on a thread when asked to early, else on first use. A failed load is
// tried again at the next use (the file may have been put back).
class ModuleSlot
{
public:
    ModuleSlot(const char* file, const char* entry) : m_file(QLatin1String(file)), m_entry(entry) {}

    bool loaded() const { return m_symbol != nullptr; }

    void preload()
    {
        if (m_symbol || m_pending.valid())
            return;
        // The path is found here: the loading thread must not ask the application object.
        const QString path = executableDir() + QLatin1Char('/') + m_file;
        m_pending = std::async(std::launch::async, [path, entry = m_entry] {
            Loaded l;
            l.symbol = loadModuleEntryAt(path, entry, &l.error);
            return l;
        });
    }

    void* symbol(QString* error)
    {
        if (m_symbol)
            return m_symbol;
        preload();
        const Loaded l = m_pending.get();
        m_symbol = l.symbol;
        if (!m_symbol)
            *error = QStringLiteral("メール機能を使えません: ") + l.error;
        return m_symbol;
    }

private:
    struct Loaded
    {
        void* symbol = nullptr;
        QString error;
    };

    QString m_file;
    const char* m_entry;
    void* m_symbol = nullptr;
    std::future<Loaded> m_pending;
};

// A connection to a POP server argument, started now; null when the argument names none.
std::unique_ptr<EarlyConnection> connectEarly(const QString& popServer)
{
    ServerAddress address;
    if (!parseServerAddress(popServer, kPop3DefaultPort, &address))
        return nullptr;
    return std::make_unique<EarlyConnection>(address);
}

class DeferredMailLibrary final : public MailLibrary
{
public:
    void prepare(const QString& popServer)
    {
        m_pop3.preload();
        m_early = connectEarly(popServer);
        m_earlyServer = popServer;
    }

    MailResult RcvMail(const QString& server, const QString& user, const QString& password,
                       const QString& command, const QString& folder) override
    {
        // An early connection serves the first collection only, and only from its server.
        const bool collecting = command.trimmed() == QLatin1String("SAVEALL");
        std::unique_ptr<EarlyConnection> early = std::exchange(m_early, nullptr);
        if (!collecting || server != m_earlyServer)
            early.reset();
        if (!early && collecting && !m_pop3.loaded())
            early = connectEarly(server);
        QString error;
        const auto entry = reinterpret_cast<Pop3ModuleEntry>(m_pop3.symbol(&error));
        Pop3Module* module = entry ? entry() : nullptr;
        if (!module)
            return MailResult::message(error);
        if (early) {
            const int wait =
                std::min(kEarlyConnectionWaitMs, module->timeouts().connectSeconds * 1000);
            const int socket = early->take(wait);
            if (socket >= 0)
                module->adoptConnection(socket);
        }
        const MailResult result = module->RcvMail(server, user, password, command, folder);
        module->dropConnection();
        return result;
    }

    MailResult ReadMail(const QString& messageFile, const QString& fieldList,
                        const QString& attachmentFolder) override
    {
        QString error;
        MailLibrary* library = whole(&error);
        return library ? library->ReadMail(messageFile, fieldList, attachmentFolder)
                       : MailResult::message(error);
    }

    QString SendMail(const QString& server, const QString& recipients, const QString& sender,
                     const QString& subject, const QString& body,
                     const QString& attachments) override
    {
        QString error;
        MailLibrary* library = whole(&error);
        return library ? library->SendMail(server, recipients, sender, subject, body, attachments)
                       : error;
    }

private:
    MailLibrary* whole(QString* error)
    {
        const auto entry = reinterpret_cast<MailModuleEntry>(m_mail.symbol(error));
        MailModule* module = entry ? entry() : nullptr;
        return module ? &module->library() : nullptr;
    }

    std::unique_ptr<EarlyConnection> m_early;
    QString m_earlyServer;
    ModuleSlot m_pop3{kPop3ModuleFile, kPop3ModuleEntry};
    ModuleSlot m_mail{kMailModuleFile, kMailModuleEntry};
};

DeferredMailLibrary& deferred()
{
    static DeferredMailLibrary library;
    return library;
}

} // namespace

MailLibrary& systemMailLibrary()
{
    return deferred();
}

void preloadMailLibrary()
{
    deferred().prepare(QString());
}

void prepareFirstCollection(const QString& popServer)
{
    deferred().prepare(popServer);
}

} // namespace qm::mail
