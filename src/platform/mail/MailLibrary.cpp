#include "platform/mail/MailLibrary.h"

#include <atomic>

namespace qm::mail {

namespace {
std::atomic<int> g_connectSeconds{20};
std::atomic<int> g_idleSeconds{30};
} // namespace

void setMailTimeouts(const MailTimeouts &timeouts)
{
    g_connectSeconds = timeouts.connectSeconds;
    g_idleSeconds = timeouts.idleSeconds;
}

MailTimeouts mailTimeouts()
{
    return {g_connectSeconds.load(), g_idleSeconds.load()};
}

} // namespace qm::mail
