#include "platform/mail/MailLibrary.h"

#include <QtGlobal>
#include <atomic>

namespace qm::mail {

namespace {
// QM_MAIL_CONNECT_TIMEOUT / QM_MAIL_IDLE_TIMEOUT (seconds) shorten the defaults for a whole
// program run, so tests of dead servers need not wait half a minute per connection.
int secondsFromEnvironment(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}
std::atomic<int> g_connectSeconds{secondsFromEnvironment("QM_MAIL_CONNECT_TIMEOUT", 20)};
std::atomic<int> g_idleSeconds{secondsFromEnvironment("QM_MAIL_IDLE_TIMEOUT", 30)};
} // namespace

void setMailTimeouts(const MailTimeouts& timeouts)
{
    g_connectSeconds = timeouts.connectSeconds;
    g_idleSeconds = timeouts.idleSeconds;
}

MailTimeouts mailTimeouts()
{
    return {g_connectSeconds.load(), g_idleSeconds.load()};
}

} // namespace qm::mail
