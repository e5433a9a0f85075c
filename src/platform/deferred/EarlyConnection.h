#pragma once

#include "platform/mail/ServerAddress.h"

namespace qm::mail {

// A TCP connection started before the mail module is loaded, so that the server's
// greeting delay overlaps the loading. Never required: when it is not up in time, the
// module connects by itself as it always can.
class EarlyConnection
{
public:
    // Resolves the host and starts connecting without waiting for the connection.
    explicit EarlyConnection(const ServerAddress& server);
    ~EarlyConnection();
    EarlyConnection(const EarlyConnection&) = delete;
    EarlyConnection& operator=(const EarlyConnection&) = delete;

    // The connected socket, now the caller's; -1 when the connection failed or is not up
    // within waitMilliseconds (it is closed then).
    int take(int waitMilliseconds);

private:
    int m_fd = -1;
};

} // namespace qm::mail
