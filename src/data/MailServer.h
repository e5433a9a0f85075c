#pragma once

#include "data/MailSecurity.h"

#include <QString>
#include <functional>
#include <optional>

// The servers an account collects from and sends through, as the mail library takes them.
namespace qm {

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

// Signing in with an OAuth 2.0 access token instead of a password (SASL XOAUTH2 or
// OAUTHBEARER; the user name goes into the SASL message). After the server refuses the
// token, renew is asked once for a new one ("" when none can be had) and the login retried.
enum class BearerMechanism { XOAuth2, OAuthBearer };
struct BearerLogin
{
    QString token;
    BearerMechanism mechanism = BearerMechanism::OAuthBearer;
    std::function<QString()> renew;
};

// A POP3 mailbox. Automatic and required security mean TLS from the first byte on port 995.
struct PopAccount
{
    ServerAddress server;
    ConnectionSecurity security = ConnectionSecurity::Automatic;
    ServerTrust trust;
    QString user;
    QString password;
    bool apop = false;
    std::optional<BearerLogin> bearer; // set: the password and APOP are not used
};

enum class SmtpAuthMethod { Plain, Login, CramMd5 };

struct SmtpLogin
{
    QString user;
    QString password;
    SmtpAuthMethod method = SmtpAuthMethod::Plain;
    std::optional<BearerLogin> bearer; // set: the password and method are not used
};

// An SMTP server. Automatic and required security mean TLS from the first byte on port 465.
struct SmtpServer
{
    ServerAddress server;
    ConnectionSecurity security = ConnectionSecurity::Automatic;
    ServerTrust trust;
    int messagesPerConnection = kDefaultMessagesPerConnection;
    qint64 sizeLimit = 0; // bytes a mail may have, besides the server's own SIZE; 0 for none
    std::optional<SmtpLogin> login;
};

} // namespace qm
