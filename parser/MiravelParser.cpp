// CMiravelParser: trace-logged wrappers around the block format functions,
// plus the stored block that SetConfigurationBlock builds.
#include "MiravelParser.h"

#include <cstring>
#include <new>

#include "ConfigBlock.h"
#include "FirmwareImage.h"
#include "JoinBlock.h"
#include "Logger.h"
#include "SerialItems.h"

namespace {

constexpr int kLevel = 2;

cfgblock::ByteView View(const uint8_t* data, uint32_t size) {
    cfgblock::ByteView view;
    view.data = data;
    view.size = size;
    return view;
}

std::unique_ptr<uint8_t[]> AllocateZeroed(uint32_t size) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]());
}

}  // namespace

CMiravelParser::~CMiravelParser() {
    ReleaseStoredBlock();
}

void CMiravelParser::ReleaseStoredBlock() {
    block_.reset();
    blockSize_ = 0;
    itemCount_ = 0;
}

int32_t CMiravelParser::SetConfigurationBlock(const uint8_t* block, uint32_t size,
                                              const wchar_t* serial, uint32_t serialLength) {
    CLogger log(L"CMiravelParser::SetConfigurationBlock");
    if (block == nullptr && serial == nullptr) {
        log.Write(kLevel, L"Serial number and cfg block is not present");
        return kParserNothingToDo;
    }
    if (serialLength == 0 && size == 0) {
        log.Write(kLevel, L"Serial number and cfg block is empty");
        return kParserNothingToDo;
    }
    if (serialLength > cfgblock::kMaxSerialLength) {
        log.Write(kLevel, L"Serial number length greater than 31");
        return kParserSerialTooLong;
    }

    // Blocks of 5 bytes or less carry no items: the serial items get a fresh header.
    const bool joinInput = block != nullptr && size > cfgblock::kHeaderSize;
    if (block != nullptr) {
        const int32_t valid = ValidateConfigurationBlock(block, size);
        if (valid != kParserOk) return valid;
    } else {
        log.Write(kLevel, L"Configuration block is not present");
    }

    const bool addSerial = serial != nullptr && serialLength > 0;
    const size_t inputItems = joinInput ? block[cfgblock::kSignatureSize] : 0;
    if (addSerial && inputItems + cfgblock::kSerialItemCount > cfgblock::kMaxItemCount) {
        // The 8-bit item count cannot hold the serial items as well.
        log.Write(kLevel, L"Too many items in cfg block to add the Serial number");
        return kParserSizeMismatch;
    }

    int32_t result = kParserOk;
    std::unique_ptr<uint8_t[]> descriptors;
    std::unique_ptr<uint8_t[]> data;
    uint32_t descriptorsSize = 0;
    uint32_t dataSize = 0;
    if (addSerial) {
        GetSerialBlockSize(serialLength, &descriptorsSize, &dataSize);
        descriptors = AllocateZeroed(descriptorsSize);
        data = AllocateZeroed(dataSize);
        if (!descriptors || !data) {
            log.Write(kLevel, L"Not enough memory to allocate buffers");
            result = kParserOutOfMemory;
        } else {
            result = GetSerialBinaryBlock(descriptors.get(), data.get(), serial, serialLength,
                                          descriptorsSize, dataSize);
            if (result != kParserOk) log.Write(kLevel, L"Not able to generate Serial blcok");
        }
    }

    if (result == kParserOk) {
        ReleaseStoredBlock();
        result = StoreJoinedBlock(log, joinInput ? block : nullptr, joinInput ? size : 0,
                                  descriptors.get(), descriptorsSize, data.get(), dataSize);
    }

    descriptors.reset();
    data.reset();
    // Checked again for the trace only; the outcome stays as it is.
    if (block_) ValidateConfigurationBlock(block_.get(), blockSize_);
    return result;
}

int32_t CMiravelParser::StoreJoinedBlock(CLogger& log, const uint8_t* block, uint32_t size,
                                         const uint8_t* descriptors, uint32_t descriptorsSize,
                                         const uint8_t* data, uint32_t dataSize) {
    cfgblock::SerialBlockSize serial;
    serial.descriptors = descriptorsSize;
    serial.data = dataSize;
    const size_t joinedSize = cfgblock::JoinedBlockSize(View(block, size), serial);
    std::unique_ptr<uint8_t[]> joined = AllocateZeroed(static_cast<uint32_t>(joinedSize));
    if (!joined) {
        log.Write(kLevel, L"Not enough memory to allocate buffers");
        return kParserOutOfMemory;
    }
    const size_t serialItems = descriptorsSize / cfgblock::kDescriptorSize;
    const cfgblock::JoinResult joinedOk =
        cfgblock::JoinBlockAndSerial(View(block, size), View(descriptors, descriptorsSize),
                                     View(data, dataSize), serialItems, joined.get(), joinedSize);
    if (joinedOk != cfgblock::JoinResult::kOk) {
        log.Write(kLevel, L"Mismatch in metadata and data size");
        return kParserSizeMismatch;
    }
    block_ = std::move(joined);
    blockSize_ = static_cast<uint32_t>(joinedSize);
    itemCount_ = block_[cfgblock::kSignatureSize];
    return kParserOk;
}

int32_t CMiravelParser::GetConfigurationItems(ConfigurationItem** /*items*/, uint32_t* /*count*/) {
    CLogger log(L"CMiravelParser::GetConfigurationItems");
    return kParserNothingToDo;
}

int32_t CMiravelParser::ValidateConfigurationBlock(const uint8_t* block, uint32_t size) {
    CLogger log(L"CMiravelParser::ValidateConfigurationBlock");
    const cfgblock::ByteView view = View(block, size);
    // Too short to hold a signature is a size problem, not a signature one.
    if (block != nullptr && size >= cfgblock::kSignatureSize &&
        !cfgblock::HasSignatureAnyCase(view)) {
        log.Write(kLevel, L"Invalid Config block Signature.");
        return kParserBadSignature;
    }
    if (!cfgblock::HasConsistentSize(view)) {
        log.Write(kLevel, L"Mismatch in metadata and data size");
        return kParserSizeMismatch;
    }
    return kParserOk;
}

int32_t CMiravelParser::ValidateFirmwareImage(const uint8_t* image, uint32_t size) {
    CLogger log(L"CMiravelParser::ValidateFirmwareImage");
    switch (cfgblock::CheckFirmwareImage(image, size)) {
        case cfgblock::FirmwareImageCheck::kOk:
            return kParserOk;
        case cfgblock::FirmwareImageCheck::kWrongSize:
            return kParserSizeMismatch;
        case cfgblock::FirmwareImageCheck::kMissingTag:
            break;
    }
    return kParserBadSignature;
}

uint32_t CMiravelParser::GetConfigBlockSize() {
    CLogger log(L"CMiravelParser::GetConfigBlockSize");
    return blockSize_;
}

int32_t CMiravelParser::GetConfigBlock(uint32_t bufferSize, uint8_t* buffer) {
    CLogger log(L"CMiravelParser::GetConfigBlock");
    if (bufferSize < blockSize_ || (buffer == nullptr && blockSize_ > 0)) {
        log.Write(kLevel, L"Buffer not enough to hold the Configuration Block");
        return kParserNothingToDo;
    }
    if (blockSize_ > 0) std::memcpy(buffer, block_.get(), blockSize_);
    return static_cast<int32_t>(blockSize_);
}

void CMiravelParser::GetSerialBlockSize(uint32_t serialLength, uint32_t* descriptorSize,
                                        uint32_t* dataSize) {
    CLogger log(L"CMiravelParser::GetSerialBlockSize");
    const cfgblock::SerialBlockSize size = cfgblock::SerialItemsSize(serialLength);
    if (descriptorSize != nullptr) *descriptorSize = static_cast<uint32_t>(size.descriptors);
    if (dataSize != nullptr) *dataSize = static_cast<uint32_t>(size.data);
}

int32_t CMiravelParser::GetSerialBinaryBlock(uint8_t* descriptors, uint8_t* data,
                                             const wchar_t* serial, uint32_t serialLength,
                                             uint32_t descriptorsSize, uint32_t dataSize) {
    CLogger log(L"CMiravelParser::GetSerialBinaryBlock");
    switch (cfgblock::WriteSerialItems(serial, serialLength, descriptors, descriptorsSize, data,
                                       dataSize)) {
        case cfgblock::SerialItemsResult::kOk:
            return kParserOk;
        case cfgblock::SerialItemsResult::kBufferTooSmall:
            log.Write(kLevel, L"Serial Metadata/Data size insufficient");
            return kParserNothingToDo;
        case cfgblock::SerialItemsResult::kTooLong:
            break;
    }
    log.Write(kLevel, L"Serial Length is greater then 31");
    return kParserSerialTooLong;
}

ConfigurationItem CMiravelParser::GetItemInfo(uint32_t /*index*/) {
    CLogger log(L"CMiravelParser::GetItemInfo");
    return ConfigurationItem{};
}
