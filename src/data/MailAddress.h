#pragma once

#include <QString>

namespace qm {

// Whether an address can stand in an SMTP envelope as it is: ASCII, one "@" between a
// local part and a domain, nothing that would need quoting. The account checks refuse what
// the mail layer could not send to.
bool isPlainMailAddress(const QString& address);

} // namespace qm
