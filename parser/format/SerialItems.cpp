// Builds the serial-number items appended to every configuration block.
#include "SerialItems.h"

#include "ConfigBlock.h"

namespace cfgblock {

namespace {

constexpr uint16_t kByteItemType = 0x800;
constexpr uint16_t kStringItemType = 0x803;

class CItemWriter {
public:
    CItemWriter(uint8_t* descriptors, uint8_t* data) : descriptors_(descriptors), data_(data) {}

    void ByteItem(uint16_t address, uint8_t value) {
        Descriptor(kByteItemType, 3);
        Address(address);
        *data_++ = value;
    }

    // Address, a zero byte, the text's byte count, then the text in UTF-16LE.
    void StringItem(uint16_t address, const wchar_t* text, size_t length) {
        const size_t bytes = 2 * length;
        Descriptor(kStringItemType, static_cast<uint16_t>(bytes + 4));
        Address(address);
        *data_++ = 0;
        *data_++ = static_cast<uint8_t>(bytes);
        for (size_t i = 0; i < length; ++i) {
            const uint16_t unit = static_cast<uint16_t>(text[i]);
            *data_++ = static_cast<uint8_t>(unit);
            *data_++ = static_cast<uint8_t>(unit >> 8);
        }
    }

private:
    void Descriptor(uint16_t type, uint16_t length) {
        ItemDescriptor descriptor;
        descriptor.type = type;
        descriptor.length = length;
        EncodeDescriptor(descriptor, descriptors_);
        descriptors_ += kDescriptorSize;
    }

    void Address(uint16_t address) {
        *data_++ = static_cast<uint8_t>(address >> 8);
        *data_++ = static_cast<uint8_t>(address);
    }

    uint8_t* descriptors_;
    uint8_t* data_;
};

}  // namespace

SerialBlockSize SerialItemsSize(size_t length) {
    SerialBlockSize size;
    if (length > 0) {
        size.descriptors = kSerialDescriptorBytes;
        size.data = 4 * length + 20;
    }
    return size;
}

SerialItemsResult WriteSerialItems(const wchar_t* serial, size_t length, uint8_t* descriptors,
                                   size_t descriptorsSize, uint8_t* data, size_t dataSize) {
    const SerialBlockSize need = SerialItemsSize(length);
    if (descriptorsSize < need.descriptors || dataSize < need.data) {
        return SerialItemsResult::kBufferTooSmall;
    }
    if (length > kMaxSerialLength) return SerialItemsResult::kTooLong;
    if (length == 0) return SerialItemsResult::kOk;
    if (serial == nullptr || descriptors == nullptr || data == nullptr) {
        return SerialItemsResult::kBufferTooSmall;
    }

    const uint8_t stringSize = static_cast<uint8_t>(2 * length + 2);
    CItemWriter writer(descriptors, data);
    writer.ByteItem(kSerialLengthRegister, static_cast<uint8_t>(length));
    writer.ByteItem(kStringSizeRegisterA, stringSize);
    writer.ByteItem(kSerialFlagRegister, 1);
    writer.ByteItem(kStringSizeRegisterB, stringSize);
    writer.StringItem(kStringRegisterA, serial, length);
    writer.StringItem(kStringRegisterB, serial, length);
    return SerialItemsResult::kOk;
}

}  // namespace cfgblock
