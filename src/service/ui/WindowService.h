#pragma once

namespace qm::ui {

// The resident window service: start-up, the window's life, shut-down. Returns the exit code.
int runWindowService(int argc, char** argv);

} // namespace qm::ui
