#include "ui/taskbar_states.h"

namespace qf {

// Switching off during a pass leaves that pass running to its end: it stays busy, but a
// failure it ends with no longer turns the button red, as nothing will try again.
void TaskbarStates::Switched(bool on)
{
    on_ = on;
    failed_ = false;
}

void TaskbarStates::PassStarted()
{
    running_ = true;
}

void TaskbarStates::PassEnded(bool failed)
{
    running_ = false;
    failed_ = on_ && failed;
}

TaskbarMark TaskbarStates::Mark() const
{
    if (running_)
        return TaskbarMark::Busy;
    return failed_ ? TaskbarMark::Failed : TaskbarMark::None;
}

}  // namespace qf
