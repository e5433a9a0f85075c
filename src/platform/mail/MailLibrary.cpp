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



QString SendMail(const QString &, const QString &, const QString &, const QString &,
                 const QString &, const QString &)
{
    return QStringLiteral("送信処理は未実装です");
}

} // namespace qm::mail
