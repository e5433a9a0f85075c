#pragma once

#include "platform/mail/MailLibrary.h"

#include <QString>
#include <QStringList>

namespace qm::service {

// A message as ReadMail gave it, with the fields the cycle uses.
struct ParsedMessage
{
    QStringList elements; // ReadMail's list: Date, From, To, cc, Subject, Body, File...
    QString date;
    QString sender;         // display name and address; commas and line breaks removed
    mail::MailAddress from; // who sent it: every decision about the sender uses this
    QString subject;        // empty when the message has none
    QString body;           // CR LF line ends
};

// The sender alone (the DAEMON test runs before anything else is taken).
QString ParseSender(const QStringList& elements);

// All fields; missing elements count as empty.
ParsedMessage ParseMessage(const QStringList& elements, const mail::MailAddress& from = {});

} // namespace qm::service
