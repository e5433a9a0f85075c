#pragma once

#include <QString>

namespace qm::mail {

// The port of a POP3 server argument that names none.
inline constexpr int kPop3DefaultPort = 110;

struct ServerAddress
{
    QString host;
    int port = 0;
    QString display() const; // host:port
};

// "host" or "host TAB port"; defaultPort when no port is given. False for an empty host
// or a port that is not 1..65535.
bool parseServerAddress(const QString& text, int defaultPort, ServerAddress* out);

} // namespace qm::mail
