// How a field's value text becomes the bytes of its configuration item and
// back. A field writes its value at its register address: numbers big-endian
// in "datasize" bytes (item types 0x800, 0x801, 0x802), strings as a length
// word and UTF-16LE characters (item type 0x803, "datasize" = most characters).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FieldSet.h"

namespace lorvath {

enum class ValueKind { Hex, Decimal, String, Option, Flag };

struct FieldEncoding {
    ValueKind kind = ValueKind::Hex;
    uint16_t address = 0;
    size_t size = 0;  // value bytes, or most characters of a string
    uint64_t minimum = 0;
    uint64_t maximum = 0;  // decimal fields: "min"/"max", else the size's limit
    std::vector<std::pair<std::string, uint32_t>> options;  // text, code
};

// Reads the field's "type", "datasize", "address" (and "min", "max", its
// options). Nothing, with a message in error, when they do not describe an
// encoding.
std::optional<FieldEncoding> ReadEncoding(const Field& field, std::string& error);

// The configuration item type the field is written with.
uint16_t ItemType(const FieldEncoding& encoding);

// Register bytes the item writes, from the address on.
size_t RegisterSpan(const FieldEncoding& encoding);

// The item's value bytes (after the address) for text; nothing when text is
// not a valid value. Blanks around numbers are ignored.
std::optional<std::vector<uint8_t>> EncodeValue(const FieldEncoding& encoding,
                                                const std::string& text);

// The value text the editor shows for the item's value bytes; nothing when
// they are not a value of the field.
std::optional<std::string> DecodeValue(const FieldEncoding& encoding, const uint8_t* bytes,
                                       size_t size);

// The canonical text for a valid value (option and flag texts in the
// template's spelling); nothing when invalid.
std::optional<std::string> NormaliseValue(const FieldEncoding& encoding, const std::string& text);

}  // namespace lorvath
