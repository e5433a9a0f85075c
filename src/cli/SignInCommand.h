#pragma once

#include <QMap>
#include <QStringList>

class QTextStream;

namespace qm::cli {

// quillmarcB --sign-in NN: signs account NN in to its mail provider without a screen, by
// the device grant (the address and code to enter on any device with a browser), or checks
// the app-only sign-in of an account set to client credentials. The refresh token it gets
// is stored with the account's connection settings, never printed.
// Exit status: 0 signed in, 1 not, 2 bad usage.
bool isSignInCommand(const QStringList& args);
int runSignInCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// The sign-in keys of --set and --show, kept with the account's connection settings:
// OAuthProvider (microsoft | google | issuer), OAuthTenant, OAuthIssuer, OAuthClientId,
// OAuthClientSecret, OAuthScopes, OAuthGrant (user | client_credentials), PopAuth and
// SmtpAuth (password | xoauth2 | oauthbearer); OAuthRefreshToken only to clear it (sign out).
bool isSignInKey(const QString& key);
// Sets the key in values, or says why the value cannot be taken.
bool setSignInValue(QMap<QString, QString>& values, const QString& key, const QString& value,
                    QString* problem);
// KEY=VALUE lines for --show; secrets masked.
QStringList signInShowLines(const QMap<QString, QString>& values);
QString signInHelp();

} // namespace qm::cli
