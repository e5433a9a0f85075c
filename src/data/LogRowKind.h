#pragma once

#include "data/ForwardLog.h"

namespace qm {

// What a log row reports, read from its texts: the stored line keeps its five columns, so
// older readers and older logs need no change.
enum class LogRowKind {
    Normal,
    Warning, // the message waits for the next cycle, or one recipient was refused
    Error,   // something the user has to mend, or a message refused for good
};

LogRowKind logRowKind(const LogRow& row);

} // namespace qm
