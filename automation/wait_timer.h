// The one-second wait used while polling for Excel's window or for the marker file.
#pragma once
#include <windows.h>

// A manual-reset waitable timer named "VNXWaitTimer": every WaitTimer opens the same timer
// object. It logs nothing itself; failures are kept in status and message until TakeError.
class WaitTimer {
public:
    // Creates (or opens) the timer. On failure status is 1 and the message says why.
    WaitTimer();
    ~WaitTimer();
    WaitTimer(const WaitTimer &) = delete;
    WaitTimer &operator=(const WaitTimer &) = delete;

    // Arms the timer for one second and waits for it. 1 when it fired, 0 on failure.
    int Wait();
    // Closes the timer handle if there is one. The result of CloseHandle, or 0 without handle.
    int Close();
    // Copies the message into buffer (at most max bytes, terminator included), returns the
    // status, and resets both.
    int TakeError(char *buffer, int max);

private:
    void Fail(const char *format);

    int status_;
    HANDLE timer_;
    LONGLONG dueTime_; // one second, relative, in 100-nanosecond units
    char message_[304];
};
