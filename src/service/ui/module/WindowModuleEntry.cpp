// The entry of the quillmarc-window module: the resident window service with everything it
// draws and sends, loaded only when quillmarc starts with its window.

#include "service/ui/WindowService.h"

extern "C" __attribute__((visibility("default"))) int qm_window_service_v1(int argc, char** argv)
{
    return qm::ui::runWindowService(argc, argv);
}
