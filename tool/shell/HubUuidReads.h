// Reading hubs' unique identifiers away from the user-interface thread. On a real line a read
// takes about a second per hub, so a line's worth would stop the window answering for as long.
// A worker thread reads them one after another through the library's GetUUID export; the
// calling thread meanwhile handles only the messages sent to it. Input, posted messages and
// painting stay in its queue for its own loop afterwards, so nothing the operator does, and no
// library event, runs in the middle of the reads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "DeviceName.h"

struct HubUuid {
    int32_t controller = -1;
    int32_t device = -1;
    bool read = false;  // false when the library could not read it
    uint8_t bytes[kUuidLength] = {};
};

// Handles the messages sent to this thread; takes nothing off its queue. Lets a long stretch of
// work on this thread keep its windows answering. Nothing is painted: the tree's drawing asks
// the library for each hub's status, and so waits for whatever holds the library (a read of an
// identifier, a hub being opened), which would stop the window for as long.
void AnswerSentMessages();

// Reads the identifier of every entry (controller and device index of the library's snapshot)
// through library's GetUUID; returns when all were read. The worker holds its own reference to
// the library until it ends.
void ReadHubUuids(HMODULE library, std::vector<HubUuid>& hubs);
