#include "platform/mail/ServerAddress.h"

#include <QStringList>

namespace qm::mail {

QString ServerAddress::display() const
{
    return host + QLatin1Char(':') + QString::number(port);
}

bool parseServerAddress(const QString& text, int defaultPort, ServerAddress* out)
{
    const QStringList parts = text.split(QLatin1Char('\t'));
    ServerAddress s;
    s.host = parts.value(0).trimmed();
    s.port = defaultPort;
    const QString portText = parts.value(1).trimmed();
    if (!portText.isEmpty()) {
        bool ok = false;
        s.port = portText.toInt(&ok);
        if (!ok)
            return false;
    }
    // A host with spaces, slashes or control characters would change the URL's meaning.
    for (const QChar c : s.host) {
        if (c.unicode() <= 0x20 || c == QLatin1Char('/') || c == QLatin1Char('@') ||
            c == QLatin1Char('?') || c == QLatin1Char('#') || c == QLatin1Char('\\'))
            return false;
    }
    if (s.host.isEmpty() || s.port < 1 || s.port > 65535)
        return false;
    *out = s;
    return true;
}

} // namespace qm::mail
