#pragma once

#include <QString>

namespace qm::mail {

inline constexpr int kPop3DefaultPort = 110;
inline constexpr int kSmtpDefaultPort = 25;

struct ServerAddress
{
    QString host;
    int port = 0;

    // An account's server and port columns; an empty port is defaultPort, a port that is
    // not a number is kept as invalid so the error names it when the server is used.
    static ServerAddress fromColumns(const QString& host, const QString& port, int defaultPort);

    // False for an empty host, one that would change a URL's meaning, or a port outside
    // 1..65535.
    bool isValid() const;
    QString display() const; // host:port
};

} // namespace qm::mail
