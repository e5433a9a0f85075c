#pragma once

#include <QString>

namespace qm::mail {

// Starts loading the collection module on a thread of its own, so that the loading overlaps
// the start of the service. Main thread only, as is everything here.
void preloadMailLibrary();

// Also connects to popServer (a POP server argument) now, so that its greeting overlaps the
// start too. The first collection from that server uses the connection.
void prepareFirstCollection(const QString& popServer);

} // namespace qm::mail
