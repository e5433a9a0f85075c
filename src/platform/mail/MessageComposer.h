#pragma once

// Builds the MIME message SendMail hands to the server.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qm::mail {

struct OutgoingMail
{
    QString from;    // address
    QStringList to;  // header and envelope
    QStringList cc;  // header and envelope
    QStringList bcc; // envelope only
    QString replyTo; // "" for none
    QString subject;
    QString body;
    QStringList attachments; // full paths
};

// Splits SendMail's recipient text (TAB list with "cc", "bcc" and ">reply-to: " items).
void parseRecipients(const QString& recipients, OutgoingMail* mail);

// The bare address (local@domain) of "Name <local@domain>" or "local@domain".
QString addressSpec(const QString& text);

// A complete message with CR LF line ends. False + *error when an attachment cannot be read.
bool composeMessage(const OutgoingMail& mail, QByteArray* out, QString* error);

} // namespace qm::mail
