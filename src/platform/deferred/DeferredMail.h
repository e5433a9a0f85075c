#pragma once

#include <QString>

namespace qm::mail {

// Starts loading the collection module on a thread of its own and, when popServer (a POP
// server argument) is given, connecting to that server, so that both overlap the start of
// the service. The first collection from that server uses the connection. Main thread only.
void prepareFirstCollection(const QString& popServer);

} // namespace qm::mail
