#pragma once

#include <QString>
#include <QStringList>

namespace qm::mail {
struct MailAddress;
}

namespace qm::service {

// Whether a message's sender is the given address: the whole addresses equal, without regard
// to case. An address written as "@domain" stands for every address of exactly that domain.
// Only the address parsed from the raw header counts: a display name can say anything.
bool SenderIs(const mail::MailAddress& sender, const QString& address);

// Whether the sender is any of the addresses.
bool SenderIsAnyOf(const mail::MailAddress& sender, const QStringList& addresses);

// Whether an address as an account stores it ("a@b.jp", "Name <a@b.jp>", "@b.jp") can be
// any sender's at all.
bool CanMatchSender(const QString& address);

} // namespace qm::service
