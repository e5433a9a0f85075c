#pragma once

#include "data/MailServer.h"

namespace qm::mail {

using qm::kPop3DefaultPort;
using qm::kSmtpDefaultPort;
using qm::ServerAddress;

} // namespace qm::mail
