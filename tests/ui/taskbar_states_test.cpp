// What the taskbar button shows after each order of events the main window and the worker
// produce.
#include "ui/taskbar_states.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qf::TaskbarMark;

enum class Event { On, Off, Start, Clean, Failed };

struct Case {
    const char* name;
    std::vector<Event> events;
    TaskbarMark mark;
};

TaskbarMark After(const std::vector<Event>& events)
{
    qf::TaskbarStates states;
    for (Event event : events) {
        switch (event) {
        case Event::On: states.Switched(true); break;
        case Event::Off: states.Switched(false); break;
        case Event::Start: states.PassStarted(); break;
        case Event::Clean: states.PassEnded(false); break;
        case Event::Failed: states.PassEnded(true); break;
        }
    }
    return states.Mark();
}

TEST(TaskbarStates, FollowPassesAndSwitching)
{
    using E = Event;
    const Case cases[] = {
        {"nothing yet", {}, TaskbarMark::None},
        {"switched on, waiting", {E::On}, TaskbarMark::None},
        {"a pass runs", {E::On, E::Start}, TaskbarMark::Busy},
        {"a clean pass", {E::On, E::Start, E::Clean}, TaskbarMark::None},
        {"a failed pass", {E::On, E::Start, E::Failed}, TaskbarMark::Failed},
        {"the next pass runs after a failed one", {E::On, E::Start, E::Failed, E::Start}, TaskbarMark::Busy},
        {"still failing", {E::On, E::Start, E::Failed, E::Start, E::Failed}, TaskbarMark::Failed},
        {"a clean pass after a failed one", {E::On, E::Start, E::Failed, E::Start, E::Clean}, TaskbarMark::None},
        {"switched off after a failed pass", {E::On, E::Start, E::Failed, E::Off}, TaskbarMark::None},
        {"switched off during a pass, which goes on", {E::On, E::Start, E::Off}, TaskbarMark::Busy},
        {"that pass fails after switching off", {E::On, E::Start, E::Off, E::Failed}, TaskbarMark::None},
        {"on again after a failure: no old red", {E::On, E::Start, E::Failed, E::Off, E::On}, TaskbarMark::None},
        {"off and on during a pass that then fails", {E::On, E::Start, E::Off, E::On, E::Failed}, TaskbarMark::Failed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(After(c.events), c.mark) << c.name;
}

}  // namespace
