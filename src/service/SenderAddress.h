#pragma once

#include <QString>
#include <QStringList>

namespace qm::service {

// Whether a sender (a From text: display name, comments, address) is the given address:
// the bare addresses equal, the domain without regard to case. An address written as
// "@domain" stands for every address of exactly that domain. Display names never count: a
// name can say anything.
bool SenderIs(const QString& sender, const QString& address);

// Whether the sender is any of the addresses.
bool SenderIsAnyOf(const QString& sender, const QStringList& addresses);

} // namespace qm::service
