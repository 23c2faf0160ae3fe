// Device-interface notifications on their way: hot plug posts a batch (the
// interfaces that arrived or left in one change) and returns; one thread of
// the simulator's own delivers the batches in order, as the plug-and-play
// service does, never inside the call that changed the model and never under
// the model's lock. Posting is safe under any lock of the simulator.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "BusyCount.h"
#include "SimModel.h"

namespace usbsim {

class CNotificationQueue {
public:
    using Deliverer = std::function<void(const std::vector<InterfaceEvent>&, bool arrival)>;

    // Each batch counts as work under way in `busy` until it was delivered.
    CNotificationQueue(Deliverer deliver, CBusyCount& busy);

    void Post(std::vector<InterfaceEvent> events, bool arrival);
    // Batches posted from now on are sent no earlier than delayMs after their
    // post (a plug-and-play service slow to pass the news on); 0 sends at once.
    void SetDelay(DWORD delayMs);
    // Drops the batches whose delivery has not begun (a new model replaced the
    // one they describe).
    void Clear();

private:
    struct Batch {
        std::vector<InterfaceEvent> events;
        bool arrival = false;
        ULONGLONG due = 0;  // tick count before which the batch is not sent
    };
    struct ThreadStart {
        CNotificationQueue* queue;
        HMODULE module;  // the reference the thread releases when it ends
    };

    static DWORD WINAPI ThreadMain(LPVOID start);
    void Run();
    // Under lock_: starts the delivery thread unless one runs.
    void StartThreadLocked();

    Deliverer deliver_;
    CBusyCount& busy_;
    std::mutex lock_;
    std::deque<Batch> batches_;
    bool running_ = false;  // a delivery thread owns the queue
    DWORD delayMs_ = 0;
};

}  // namespace usbsim
