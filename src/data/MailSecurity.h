#pragma once

#include "data/MailConnectionFile.h"

#include <QString>
#include <QtGlobal>
#include <optional>

namespace qm {

// How a connection to a mail server is protected.
enum class ConnectionSecurity {
    // Accounts from before the choice existed: TLS from the first byte on 995/465,
    // elsewhere STARTTLS when the server offers it.
    Automatic,
    // TLS from the first byte on 995/465, elsewhere STARTTLS, and no connection without it.
    Required,
    ImplicitTls, // TLS from the first byte, on any port
    None,        // never TLS
};

// What a server certificate is checked against besides (or instead of) the system store.
struct ServerTrust
{
    QString caFile; // PEM: a CA, or the server's own certificate; "" for none
    QString pin;    // SHA-256 fingerprint "AB:CD:..." of the server certificate; "" for none
};

// The certificate a server showed when it was last refused, for the editor to offer.
struct SeenCertificate
{
    QString fingerprint;
    QString subject;
};

// An account's connection settings as kept in Data/MailConn.txt (keys Pop*, Smtp*).
struct MailSecurity
{
    ConnectionSecurity pop = ConnectionSecurity::Automatic;
    ConnectionSecurity smtp = ConnectionSecurity::Automatic;
    ServerTrust popTrust;
    ServerTrust smtpTrust;
    int smtpPerConnection = 10; // mails on one SMTP connection before a new one
    qint64 smtpSizeLimitKb = 0; // the account's own bound for one mail; 0 for none
    SeenCertificate popRefused; // written by the service, cleared when pinned
    SeenCertificate smtpRefused;
};

inline constexpr int kDefaultMessagesPerConnection = 10;

// The typed view of an account's values; keys it does not know are left to others, and a
// value it cannot read is its default.
MailSecurity mailSecurityOf(const MailConnectionValues& values);
// Writes the settings' keys into values (a default leaves its key out), keeping other keys.
void storeMailSecurity(const MailSecurity& security, MailConnectionValues* values);
// The values a new account starts with: TLS required for POP3 and SMTP.
MailConnectionValues newAccountMailSecurity();

QString connectionSecurityName(ConnectionSecurity security); // auto, required, tls, none
// The Japanese label the editor and the log show.
QString connectionSecurityLabel(ConnectionSecurity security);

// "AB:CD:..." for a fingerprint typed with or without colons, any case; nullopt when it
// is not 32 bytes of hex.
std::optional<QString> normalizedFingerprint(const QString& text);

// Records (under the data lock) the certificate a server was refused for, so the editor can
// offer to trust it; nothing is written when it is the one already recorded.
bool recordRefusedCertificate(const QString& accountNo, bool smtp, const SeenCertificate& seen,
                              QString* error = nullptr);

// Whether key is one of these settings' keys.
bool isMailSecurityKey(const QString& key);
// The value to store for key (a command-line value checked and put in its stored form),
// or nullopt and why not in *error. An empty value is "back to the default".
std::optional<QString> checkMailSecurityValue(const QString& key, const QString& value,
                                              QString* error);

} // namespace qm
