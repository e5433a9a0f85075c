#pragma once

namespace qm {

// The Python UNO client that the office session runs for each document.
const char* officeClientScript();

} // namespace qm
