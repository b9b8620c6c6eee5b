#pragma once
// What the main window's taskbar button shows of synchronisation, decided from what happened
// alone: busy while a pass runs, failed after a pass that logged a failure line until the
// next clean pass or until synchronisation is switched off, nothing otherwise. Plain C++, so
// a test can walk it through any order of events.
namespace qf {

enum class TaskbarMark {
    None,    // no progress shown
    Busy,    // indeterminate: a pass runs
    Failed,  // error (red): the last pass could not do everything
};

class TaskbarStates {
public:
    void Switched(bool on);
    void PassStarted();
    void PassEnded(bool failed);
    TaskbarMark Mark() const;

private:
    bool on_ = false;
    bool running_ = false;
    bool failed_ = false;
};

}  // namespace qf
