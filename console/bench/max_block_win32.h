#pragma once
// The longest time a window did not answer: another thread sends it WM_NULL every 20 ms and
// times each round trip, as Windows does before it calls a window "Not Responding".
#include "platform/scoped_win32.h"
#include "platform/stopwatch_win32.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace kes {

class MaxBlock {
public:
    explicit MaxBlock(HWND window) : window_(window) {
        thread_.Reset(CreateThread(nullptr, 0, &Run, this, 0, nullptr));
    }
    MaxBlock(const MaxBlock&) = delete;
    MaxBlock& operator=(const MaxBlock&) = delete;
    ~MaxBlock() { StopMs(); }
    // Ends the watch; the longest round trip seen, in milliseconds.
    double StopMs() {
        stop_ = true;
        if (thread_)
            WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
        return max_;
    }

private:
    static DWORD WINAPI Run(void* arg) {
        auto* m = static_cast<MaxBlock*>(arg);
        while (!m->stop_) {
            const double t0 = MillisecondsNow();
            DWORD_PTR r = 0;
            SendMessageTimeoutW(m->window_, WM_NULL, 0, 0, SMTO_NORMAL, 600000, &r);
            m->max_ = std::max(m->max_.load(), MillisecondsNow() - t0);
            Sleep(20);
        }
        return 0;
    }
    HWND window_;
    std::atomic<bool> stop_{false};
    std::atomic<double> max_{0};
    UniqueKernelHandle thread_;
};

// Handles the thread's messages until `done` holds (or ten minutes passed).
template <typename F> void PumpUntil(F done) {
    const double end = MillisecondsNow() + 600000;
    while (!done() && MillisecondsNow() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
}

} // namespace kes
