// The serial number generator of one topology node: validates its counter parameters, gives its
// current serial and advances its counter, reading and writing the node's entry in CTCFData.
// Hexadecimal counting is always taken from the node's serial type (1).
#pragma once

#include <cstdint>
#include <string>

#include "SerialCounter.h"
#include "TcfData.h"

// ValidateSerialParams over the node's stored prefix, start, maximum, current and increment.
int ValidateSerialData(const CTCFData& tcf, int tcfIndex);

// The node's prefix followed by its current value, both without surrounding spaces: kSerialOk.
// kSerialMaxReached and an empty serial when the counter is exhausted.
int GetSerialString(const CTCFData& tcf, int tcfIndex, std::wstring& serial);

// Advances the node's current value by its increment (AdvanceSerialValue) and stores it.
int IncrementSerial(CTCFData& tcf, int tcfIndex);

// Stores the counter parameters; hex format follows the node's serial type.
void SetDeviceSerialParams(CTCFData& tcf, int tcfIndex, const std::wstring& prefix,
                           const std::wstring& start, const std::wstring& maximum,
                           uint32_t increment, const std::wstring& current);
