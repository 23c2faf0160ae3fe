// Register-level expansion and comparison of configuration blocks.
#include "BlockCompare.h"

#include "SerialItems.h"

namespace cfgblock {

namespace {

constexpr uint16_t kFirstComparableType = 0x800;
constexpr uint16_t kLastComparableType = 0x810;
constexpr uint16_t kUncomparableType = 0x80E;

struct ItemShape {
    size_t addressBytes;
    size_t valueBytes;
};

// Address width and value count of a comparable item type; the variable
// types take every byte after the address.
std::optional<ItemShape> ShapeOf(ItemDescriptor descriptor) {
    switch (descriptor.type) {
        case 0x800:
        case 0x804:
        case 0x80B:
        case 0x80F:
        case 0x810:
            return ItemShape{2, 1};
        case 0x801:
        case 0x805:
        case 0x80C:
            return ItemShape{2, 2};
        case 0x802:
        case 0x806:
        case 0x80D:
            return ItemShape{2, 4};
        case 0x803:
        case 0x807:
            if (descriptor.length < 2) return std::nullopt;
            return ItemShape{2, static_cast<size_t>(descriptor.length - 2)};
        case 0x808:
            return ItemShape{1, 1};
        case 0x809:
            return ItemShape{1, 2};
        case 0x80A:
            return ItemShape{1, 4};
        default:
            return std::nullopt;
    }
}

std::vector<RegisterValue> NonSerial(const std::vector<RegisterValue>& values) {
    std::vector<RegisterValue> kept;
    for (const RegisterValue& v : values) {
        if (!IsSerialRegister(v.address)) kept.push_back(v);
    }
    return kept;
}

}  // namespace

std::optional<std::vector<RegisterValue>> ExpandRegisterValues(ByteView block) {
    const std::optional<std::vector<BlockItem>> items = ReadItems(block);
    if (!items) return std::nullopt;
    std::vector<RegisterValue> values;
    for (const BlockItem& item : *items) {
        const uint16_t type = item.descriptor.type;
        if (type < kFirstComparableType || type > kLastComparableType ||
            type == kUncomparableType) {
            return std::nullopt;
        }
        const std::optional<ItemShape> shape = ShapeOf(item.descriptor);
        if (!shape || shape->addressBytes + shape->valueBytes > item.data.size) {
            return std::nullopt;
        }
        const uint8_t* p = item.data.data;
        uint32_t address = p[0];
        if (shape->addressBytes == 2) address = (address << 8) | p[1];
        p += shape->addressBytes;
        for (size_t i = 0; i < shape->valueBytes; ++i) {
            values.push_back(RegisterValue{address + static_cast<uint32_t>(i), p[i]});
        }
    }
    return values;
}

bool IsSerialRegister(uint32_t address) {
    switch (address) {
        case kSerialLengthRegister:
        case kStringSizeRegisterA:
        case kSerialFlagRegister:
        case kStringSizeRegisterB:
            return true;
        default:
            break;
    }
    // A string item holds a zero byte, the text's byte count and the text, so
    // a 31-unit serial reaches 64 registers past the item's address: beyond
    // 0x30B2 and 0x50D6 for serials of 16 units and more.
    constexpr uint32_t kStringArea = 2 * kMaxSerialLength + 2;
    return (address >= kStringRegisterA && address < kStringRegisterA + kStringArea) ||
           (address >= kStringRegisterB && address < kStringRegisterB + kStringArea);
}

bool SameIgnoringSerialItems(ByteView found, ByteView given) {
    const std::optional<std::vector<RegisterValue>> foundValues = ExpandRegisterValues(found);
    const std::optional<std::vector<RegisterValue>> givenValues = ExpandRegisterValues(given);
    if (!foundValues || !givenValues) return false;
    const std::vector<RegisterValue> foundKept = NonSerial(*foundValues);
    const std::vector<RegisterValue> givenKept = NonSerial(*givenValues);
    for (const RegisterValue& wanted : givenKept) {
        const RegisterValue* match = nullptr;
        for (const RegisterValue& candidate : foundKept) {
            if (candidate.address == wanted.address) {
                match = &candidate;
                break;
            }
        }
        if (match == nullptr || match->value != wanted.value) return false;
    }
    return foundKept.size() == givenKept.size();
}

}  // namespace cfgblock
