#include "data/MailServer.h"

#include "data/Numbers.h"

namespace qm {

ServerAddress ServerAddress::fromColumns(const QString& host, const QString& port, int defaultPort)
{
    ServerAddress s;
    s.host = host.trimmed();
    const QString portText = port.trimmed();
    s.port = portText.isEmpty() ? defaultPort : readPort(portText).value_or(-1);
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

} // namespace qm
