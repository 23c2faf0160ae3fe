// The one notification callback and the records handed to it.
#pragma once

#include "HalvexZRVLib.h"

bool SetNotificationCallback(NotificationCallback callback);
bool HasNotificationCallback();

// Events 1, 2, 3, 5, 6: a record on the process heap, owned by the receiver.
void RaiseDeviceEvent(int32_t event, const wchar_t* path, int32_t value);
// Events 4 and 7: the value itself travels as the data argument.
void RaiseValueEvent(int32_t event, int32_t value);
