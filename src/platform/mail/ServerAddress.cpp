#include "platform/mail/ServerAddress.h"

namespace qm::mail {

ServerAddress ServerAddress::fromColumns(const QString& host, const QString& port, int defaultPort)
{
    ServerAddress s;
    s.host = host.trimmed();
    s.port = defaultPort;
    if (!port.trimmed().isEmpty()) {
        bool ok = false;
        s.port = port.trimmed().toInt(&ok);
        if (!ok)
            s.port = -1;
    }
    return s;
}

bool ServerAddress::isValid() const
{
    // A host with spaces, slashes or control characters would change the URL's meaning.
    for (const QChar c : host) {
        if (c.unicode() <= 0x20 || c == QLatin1Char('/') || c == QLatin1Char('@') ||
            c == QLatin1Char('?') || c == QLatin1Char('#') || c == QLatin1Char('\\'))
            return false;
    }
    return !host.isEmpty() && port >= 1 && port <= 65535;
}

QString ServerAddress::display() const
{
    return host + QLatin1Char(':') + QString::number(port);
}

} // namespace qm::mail
