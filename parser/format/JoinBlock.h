// Joins a configuration block with serial items: the input's descriptors are
// followed by the serial descriptors, the input's data by the serial data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ConfigBlock.h"
#include "SerialItems.h"

namespace cfgblock {

// Size of the joined block; an empty block stands for a bare "CFGB" header.
size_t JoinedBlockSize(ByteView block, SerialBlockSize serial);

enum class JoinResult { kOk, kMalformedBlock, kTooManyItems, kBufferTooSmall };

// Writes block (its signature, n + serialItemCount items) joined with the
// serial descriptors and data into out. An empty block gives "CFGB" followed
// by the serial items alone. Refuses a block whose size disagrees with its
// descriptors and a result of more than 255 items; nothing is written then.
JoinResult JoinBlockAndSerial(ByteView block, ByteView serialDescriptors, ByteView serialData,
                              size_t serialItemCount, uint8_t* out, size_t outSize);

}  // namespace cfgblock
