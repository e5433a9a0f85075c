#pragma once

// Builds the MIME message SendMail hands to the server.

#include "platform/mail/MailLibrary.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qm::mail {

// A complete message with CR LF line ends. False + *error when an attachment cannot be read.
bool composeMessage(const OutgoingMail& mail, QByteArray* out, QString* error);

} // namespace qm::mail
