#pragma once

#include <QString>

namespace qm {

// Host name of this machine (what the fax cover and headers name as the sender's computer).
QString GetLocalComputerName();

// Text before the first NUL; unchanged when there is none or it is the first character.
QString TrimAtNul(const QString& text);

} // namespace qm
