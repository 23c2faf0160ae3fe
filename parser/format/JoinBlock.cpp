// Assembles a combined configuration block from an input block and serial items.
#include "JoinBlock.h"

#include <cstring>

namespace cfgblock {

namespace {

void CopyBytes(uint8_t*& out, const uint8_t* from, size_t size) {
    if (size == 0) return;
    std::memcpy(out, from, size);
    out += size;
}

}  // namespace

size_t JoinedBlockSize(ByteView block, SerialBlockSize serial) {
    const size_t base = block.size > 0 ? block.size : kHeaderSize;
    return base + serial.descriptors + serial.data;
}

JoinResult JoinBlockAndSerial(ByteView block, ByteView serialDescriptors, ByteView serialData,
                              size_t serialItemCount, uint8_t* out, size_t outSize) {
    const bool hasBlock = block.size > 0;
    if (hasBlock && !HasConsistentSize(block)) return JoinResult::kMalformedBlock;
    if (serialDescriptors.size != kDescriptorSize * serialItemCount ||
        (serialDescriptors.size > 0 && serialDescriptors.data == nullptr) ||
        (serialData.size > 0 && serialData.data == nullptr)) {
        return JoinResult::kMalformedBlock;
    }
    const size_t inputCount = hasBlock ? block.data[kSignatureSize] : 0;
    if (inputCount + serialItemCount > kMaxItemCount) return JoinResult::kTooManyItems;
    SerialBlockSize serial;
    serial.descriptors = serialDescriptors.size;
    serial.data = serialData.size;
    if (out == nullptr || outSize < JoinedBlockSize(block, serial)) {
        return JoinResult::kBufferTooSmall;
    }

    const size_t inputDescriptors = kDescriptorSize * inputCount;
    const uint8_t* signature = hasBlock ? block.data : reinterpret_cast<const uint8_t*>(kSignature);
    CopyBytes(out, signature, kSignatureSize);
    *out++ = static_cast<uint8_t>(inputCount + serialItemCount);
    if (hasBlock) CopyBytes(out, block.data + kHeaderSize, inputDescriptors);
    CopyBytes(out, serialDescriptors.data, serialDescriptors.size);
    if (hasBlock) {
        const size_t dataStart = kHeaderSize + inputDescriptors;
        CopyBytes(out, block.data + dataStart, block.size - dataStart);
    }
    CopyBytes(out, serialData.data, serialData.size);
    return JoinResult::kOk;
}

}  // namespace cfgblock
