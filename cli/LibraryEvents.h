// The library's notifications, taken over on its threads and handed to the
// main thread through a queue: the callback only copies, frees the record and
// wakes the main thread, so it never waits for anything the library holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>

#include "HalvexZRVLib.h"

struct LibraryEvent {
    int32_t event = 0;
    std::wstring path;  // events 1, 2, 3, 5, 6
    int32_t value = 0;  // the record's value, or the data of events 4 and 7
};

class CEventQueue {
public:
    CEventQueue();
    ~CEventQueue();
    CEventQueue(const CEventQueue&) = delete;
    CEventQueue& operator=(const CEventQueue&) = delete;

    void Push(const LibraryEvent& event);
    // Wakes a waiting Pop without an event (Ctrl+C).
    void Wake();
    // The next event, waiting up to timeoutMs; false when none came.
    bool Pop(LibraryEvent& event, DWORD timeoutMs);

private:
    CRITICAL_SECTION lock_;
    HANDLE signal_;
    std::deque<LibraryEvent> events_;
};

// The queue the callback fills; set before the callback is registered.
void SetEventQueue(CEventQueue* queue);
// The function handed to RegisterNotificationCallback.
bool __cdecl OnLibraryEvent(uintptr_t data, int32_t event);
