#include "sync/pump_messages.h"

namespace qf {

// Serviced once per directory of a pass, never inside the file loop; a quit message is left
// for the thread's own loop to find.
void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) && message.message != WM_QUIT) {
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            break;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace qf
