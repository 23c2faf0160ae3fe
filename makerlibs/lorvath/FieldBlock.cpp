// Selected fields to configuration block items and back, over the shared block code.
#include "FieldBlock.h"

#include <cstdio>

#include "ConfigBlock.h"
#include "FieldEncoding.h"

namespace lorvath {

namespace {

std::string RegisterText(uint16_t address, uint16_t type) {
    char text[64];
    std::snprintf(text, sizeof(text), "register 0x%04X (item type 0x%03X)", address, type);
    return text;
}

}  // namespace

BuildResult BuildFieldBlock(const FieldSet& fields, std::vector<uint8_t>& block,
                            std::string& error) {
    std::vector<cfgblock::NewItem> items;
    for (const Field& field : fields) {
        if (!IsSelected(field)) continue;
        const std::optional<FieldEncoding> encoding = ReadEncoding(field, error);
        if (!encoding) {
            error = "Field " + field.name + ": " + error;
            return BuildResult::Invalid;
        }
        const std::string* value = field.Find(kValue);
        const std::optional<std::vector<uint8_t>> bytes =
            value ? EncodeValue(*encoding, *value) : std::nullopt;
        if (!bytes) {
            error = "Field " + field.name + ": \"" + (value ? *value : std::string()) +
                    "\" is not a valid value";
            return BuildResult::Invalid;
        }
        cfgblock::NewItem item;
        item.type = ItemType(*encoding);
        item.data = {static_cast<uint8_t>(encoding->address >> 8),
                     static_cast<uint8_t>(encoding->address)};
        item.data.insert(item.data.end(), bytes->begin(), bytes->end());
        items.push_back(std::move(item));
    }
    if (items.empty()) return BuildResult::NothingSelected;
    std::optional<std::vector<uint8_t>> built = cfgblock::BuildBlock(items);
    if (!built) {
        error = "More than 255 fields are selected; a configuration block holds at most 255";
        return BuildResult::Invalid;
    }
    block = std::move(*built);
    return BuildResult::Built;
}

bool ApplyFieldBlock(FieldSet& fields, const uint8_t* block, size_t size, std::string& error) {
    const cfgblock::ByteView view{block, size};
    if (!cfgblock::HasSignatureAnyCase(view)) {
        error = "The file is not a configuration block (no CFGB signature)";
        return false;
    }
    const auto items = cfgblock::ReadItems(view);
    if (!items || !cfgblock::HasConsistentSize(view)) {
        error = "The configuration block's size does not match its item table";
        return false;
    }
    std::vector<FieldEncoding> encodings;
    for (const Field& field : fields) {
        const std::optional<FieldEncoding> encoding = ReadEncoding(field, error);
        if (!encoding) {
            error = "Field " + field.name + ": " + error;
            return false;
        }
        encodings.push_back(*encoding);
    }
    FieldSet decoded = fields;
    std::vector<bool> seen(fields.size(), false);
    for (const cfgblock::BlockItem& item : *items) {
        const uint16_t type = item.descriptor.type;
        const uint16_t address =
            item.data.size >= 2
                ? static_cast<uint16_t>((item.data.data[0] << 8) | item.data.data[1])
                : 0;
        size_t match = fields.size();
        for (size_t i = 0; i < fields.size() && item.data.size >= 2; ++i) {
            if (encodings[i].address == address && ItemType(encodings[i]) == type) match = i;
        }
        if (match == fields.size()) {
            error = "The file sets " + RegisterText(address, type) +
                    ", which no field of the template describes";
            return false;
        }
        if (seen[match]) {
            error = "The file sets field " + fields[match].name + " twice";
            return false;
        }
        const std::optional<std::string> value =
            DecodeValue(encodings[match], item.data.data + 2, item.data.size - 2);
        if (!value) {
            error = "The file's value for field " + fields[match].name + " is not valid";
            return false;
        }
        seen[match] = true;
        decoded[match].Set(kValue, *value);
    }
    for (size_t i = 0; i < decoded.size(); ++i) decoded[i].Set(kProgram, seen[i] ? "Yes" : "No");
    fields = std::move(decoded);
    return true;
}

}  // namespace lorvath
