// Configuration block layout: "CFGB", an item count, one 3-byte descriptor per
// item and then the item data in descriptor order. Pure byte-level functions
// shared by the parser library, the hub drivers and the configuration editor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace cfgblock {

// A read-only run of bytes owned by someone else.
struct ByteView {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

constexpr char kSignature[4] = {'C', 'F', 'G', 'B'};
constexpr size_t kSignatureSize = 4;
constexpr size_t kHeaderSize = 5;  // signature + item count
constexpr size_t kDescriptorSize = 3;
constexpr size_t kMaxItemCount = 255;
constexpr uint16_t kMaxItemType = 0x1FFF;    // 13 bits
constexpr uint16_t kMaxItemLength = 0x07FF;  // 11 bits

// Descriptor: 24-bit big-endian value, type in bits 23..11, length in 10..0.
struct ItemDescriptor {
    uint16_t type = 0;
    uint16_t length = 0;
};

// Bits beyond 13 (type) and 11 (length) are dropped.
void EncodeDescriptor(ItemDescriptor descriptor, uint8_t out[kDescriptorSize]);
ItemDescriptor DecodeDescriptor(const uint8_t in[kDescriptorSize]);

// "CFGB" exactly, or with each letter in either case.
bool HasSignature(ByteView block);
bool HasSignatureAnyCase(ByteView block);

// The size that block's header and descriptors call for, or nothing when the
// header or the descriptor table does not fit in block.size.
std::optional<size_t> DeclaredBlockSize(ByteView block);

// True when block.size is exactly 5 + 3n plus the sum of descriptor lengths.
bool HasConsistentSize(ByteView block);

struct BlockItem {
    ItemDescriptor descriptor;
    ByteView data;
};

// The items of block in order. Nothing when the header, a descriptor or an
// item's data runs past block.size; bytes after the last item are allowed.
std::optional<std::vector<BlockItem>> ReadItems(ByteView block);

struct NewItem {
    uint16_t type = 0;
    std::vector<uint8_t> data;
};

// "CFGB" block holding items; nothing when there are more than 255 items, a
// type above 13 bits or an item longer than 2047 bytes.
std::optional<std::vector<uint8_t>> BuildBlock(const std::vector<NewItem>& items);

}  // namespace cfgblock
