#include "automation/wait_timer.h"

namespace {
const char kTimerName[] = "VNXWaitTimer";
const LONGLONG kOneSecondRelative = -10000000LL;
} // namespace

WaitTimer::WaitTimer() : status_(0), timer_(nullptr), dueTime_(kOneSecondRelative) {
    message_[0] = '\0';
    timer_ = CreateWaitableTimerA(nullptr, TRUE, kTimerName);
    if (!timer_)
        Fail("CreateWaitableTimer failed (%d)\n");
}

WaitTimer::~WaitTimer() {
    Close();
}

void WaitTimer::Fail(const char *format) {
    status_ = 1;
    wsprintfA(message_, format, static_cast<int>(GetLastError()));
}

int WaitTimer::Wait() {
    LARGE_INTEGER due;
    due.QuadPart = dueTime_;
    if (!SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
        Fail("SetWaitableTimer failed (%d)\n");
        return 0;
    }
    if (WaitForSingleObject(timer_, INFINITE) != WAIT_OBJECT_0) {
        Fail("WaitForSingleObject failed (%d)\n");
        return 0;
    }
    return 1;
}

int WaitTimer::Close() {
    if (!timer_)
        return 0;
    int closed = CloseHandle(timer_) ? 1 : 0;
    timer_ = nullptr;
    return closed;
}

int WaitTimer::TakeError(char *buffer, int max) {
    if (buffer && max > 0)
        lstrcpynA(buffer, message_, max);
    int status = status_;
    status_ = 0;
    message_[0] = '\0';
    return status;
}
