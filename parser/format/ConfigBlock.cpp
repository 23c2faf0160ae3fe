// Descriptor coding, signature checks and the bounds-checked item walk.
#include "ConfigBlock.h"

#include <cstring>

namespace cfgblock {

namespace {

char ToUpperAscii(uint8_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
}

size_t ItemCount(ByteView block) {
    return block.data[kSignatureSize];
}

}  // namespace

void EncodeDescriptor(ItemDescriptor descriptor, uint8_t out[kDescriptorSize]) {
    const uint32_t value = (static_cast<uint32_t>(descriptor.type & kMaxItemType) << 11) |
                           (descriptor.length & kMaxItemLength);
    out[0] = static_cast<uint8_t>(value >> 16);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value);
}

ItemDescriptor DecodeDescriptor(const uint8_t in[kDescriptorSize]) {
    const uint32_t value =
        (static_cast<uint32_t>(in[0]) << 16) | (static_cast<uint32_t>(in[1]) << 8) | in[2];
    ItemDescriptor descriptor;
    descriptor.type = static_cast<uint16_t>(value >> 11);
    descriptor.length = static_cast<uint16_t>(value & kMaxItemLength);
    return descriptor;
}

bool HasSignature(ByteView block) {
    return block.data != nullptr && block.size >= kSignatureSize &&
           std::memcmp(block.data, kSignature, kSignatureSize) == 0;
}

bool HasSignatureAnyCase(ByteView block) {
    if (block.data == nullptr || block.size < kSignatureSize) return false;
    for (size_t i = 0; i < kSignatureSize; ++i) {
        if (ToUpperAscii(block.data[i]) != kSignature[i]) return false;
    }
    return true;
}

std::optional<size_t> DeclaredBlockSize(ByteView block) {
    if (block.data == nullptr || block.size < kHeaderSize) return std::nullopt;
    const size_t count = ItemCount(block);
    const size_t dataStart = kHeaderSize + kDescriptorSize * count;
    if (block.size < dataStart) return std::nullopt;
    size_t total = dataStart;
    for (size_t i = 0; i < count; ++i) {
        total += DecodeDescriptor(block.data + kHeaderSize + kDescriptorSize * i).length;
    }
    return total;
}

bool HasConsistentSize(ByteView block) {
    const std::optional<size_t> declared = DeclaredBlockSize(block);
    return declared && *declared == block.size;
}

std::optional<std::vector<BlockItem>> ReadItems(ByteView block) {
    const std::optional<size_t> declared = DeclaredBlockSize(block);
    if (!declared || *declared > block.size) return std::nullopt;
    const size_t count = ItemCount(block);
    std::vector<BlockItem> items;
    items.reserve(count);
    size_t offset = kHeaderSize + kDescriptorSize * count;
    for (size_t i = 0; i < count; ++i) {
        BlockItem item;
        item.descriptor = DecodeDescriptor(block.data + kHeaderSize + kDescriptorSize * i);
        item.data.data = block.data + offset;
        item.data.size = item.descriptor.length;
        offset += item.descriptor.length;
        items.push_back(item);
    }
    return items;
}

std::optional<std::vector<uint8_t>> BuildBlock(const std::vector<NewItem>& items) {
    if (items.size() > kMaxItemCount) return std::nullopt;
    size_t dataSize = 0;
    for (const NewItem& item : items) {
        if (item.type > kMaxItemType || item.data.size() > kMaxItemLength) return std::nullopt;
        dataSize += item.data.size();
    }
    std::vector<uint8_t> block(kHeaderSize + kDescriptorSize * items.size() + dataSize);
    std::memcpy(block.data(), kSignature, kSignatureSize);
    block[kSignatureSize] = static_cast<uint8_t>(items.size());
    uint8_t* descriptor = block.data() + kHeaderSize;
    uint8_t* data = descriptor + kDescriptorSize * items.size();
    for (const NewItem& item : items) {
        ItemDescriptor d;
        d.type = item.type;
        d.length = static_cast<uint16_t>(item.data.size());
        EncodeDescriptor(d, descriptor);
        descriptor += kDescriptorSize;
        if (!item.data.empty()) std::memcpy(data, item.data.data(), item.data.size());
        data += item.data.size();
    }
    return block;
}

}  // namespace cfgblock
