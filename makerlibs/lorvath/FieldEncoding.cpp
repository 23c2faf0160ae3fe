// Value texts to item bytes and back, per value kind.
#include "FieldEncoding.h"

#include <cstdio>

namespace lorvath {

namespace {

constexpr size_t kMaxStringCharacters = 1021;  // 2 + 2 + 2L bytes fit an item of 2047
constexpr size_t kMaxOptions = 100;
constexpr size_t kMaxOptionText = 99;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

// "0x" followed by hex digits, or digits of defaultBase; blanks around allowed.
std::optional<uint64_t> ParseUnsigned(const std::string& raw, int defaultBase) {
    std::string text = Trim(raw);
    int base = defaultBase;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.erase(0, 2);
    }
    if (text.empty() || text.size() > 20) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        const int digit = DigitValue(c, base);
        if (digit < 0) return std::nullopt;
        if (value > (UINT64_MAX - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
            return std::nullopt;
        }
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    return value;
}

uint64_t SizeLimit(size_t size) {
    return size >= 8 ? UINT64_MAX : (uint64_t{1} << (8 * size)) - 1;
}

std::vector<uint8_t> BigEndian(uint64_t value, size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[size - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
    }
    return bytes;
}

std::optional<ValueKind> KindFromText(const std::string& type) {
    static const struct {
        const char* name;
        ValueKind kind;
    } kinds[] = {{"hex", ValueKind::Hex},
                 {"decimal", ValueKind::Decimal},
                 {"string", ValueKind::String},
                 {"option", ValueKind::Option},
                 {"flag", ValueKind::Flag}};
    for (const auto& entry : kinds) {
        if (EqualsNoCase(type, entry.name)) return entry.kind;
    }
    return std::nullopt;
}

bool ReadOptions(const Field& field, FieldEncoding& encoding, std::string& error) {
    if (field.options.empty() || field.options.size() > kMaxOptions) {
        error = "an option field needs 1 to 100 options";
        return false;
    }
    for (const FieldOption& option : field.options) {
        const std::optional<uint64_t> code = ParseUnsigned(option.code, 10);
        if (option.text.empty() || option.text.size() > kMaxOptionText) {
            error = "option texts must have 1 to 99 characters";
            return false;
        }
        if (!code || *code > SizeLimit(encoding.size)) {
            error = "option \"" + option.text + "\" has no code that fits the data size";
            return false;
        }
        for (const auto& earlier : encoding.options) {
            if (EqualsNoCase(earlier.first, option.text)) {
                error = "option \"" + option.text + "\" appears twice";
                return false;
            }
        }
        encoding.options.emplace_back(option.text, static_cast<uint32_t>(*code));
    }
    return true;
}

std::optional<uint64_t> NumberOf(const FieldEncoding& encoding, const std::string& text) {
    switch (encoding.kind) {
        case ValueKind::Hex: {
            const std::optional<uint64_t> value = ParseUnsigned(text, 16);
            if (value && *value <= SizeLimit(encoding.size)) return value;
            return std::nullopt;
        }
        case ValueKind::Decimal: {
            const std::optional<uint64_t> value = ParseUnsigned(text, 10);
            if (value && *value >= encoding.minimum && *value <= encoding.maximum) return value;
            return std::nullopt;
        }
        case ValueKind::Option:
            for (const auto& option : encoding.options) {
                if (EqualsNoCase(option.first, text)) return option.second;
            }
            return std::nullopt;
        case ValueKind::Flag:
            if (EqualsNoCase(text, "Enable")) return 1;
            if (EqualsNoCase(text, "Disable")) return 0;
            return std::nullopt;
        case ValueKind::String:
            break;
    }
    return std::nullopt;
}

bool IsValidString(const FieldEncoding& encoding, const std::string& text) {
    if (text.size() > encoding.size) return false;
    for (char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

}  // namespace

std::optional<FieldEncoding> ReadEncoding(const Field& field, std::string& error) {
    FieldEncoding encoding;
    const std::string* type = field.Find(kType);
    const std::optional<ValueKind> kind = type ? KindFromText(*type) : std::nullopt;
    if (!kind) {
        error = "\"type\" must be hex, decimal, string, option or flag";
        return std::nullopt;
    }
    encoding.kind = *kind;
    const std::string* sizeText = field.Find(kDataSize);
    const std::optional<uint64_t> size = sizeText ? ParseUnsigned(*sizeText, 10) : std::nullopt;
    const bool stringSize = size && *size >= 1 && *size <= kMaxStringCharacters;
    const bool numberSize = size && (*size == 1 || *size == 2 || *size == 4);
    if (encoding.kind == ValueKind::String ? !stringSize : !numberSize) {
        error = encoding.kind == ValueKind::String ? "\"datasize\" must be 1 to 1021 characters"
                                                   : "\"datasize\" must be 1, 2 or 4";
        return std::nullopt;
    }
    encoding.size = static_cast<size_t>(*size);
    const std::string* addressText = field.Find(kAddress);
    const std::optional<uint64_t> address =
        addressText ? ParseUnsigned(*addressText, 16) : std::nullopt;
    if (!address || *address + RegisterSpan(encoding) > 0x10000) {
        error = "\"address\" must be a register address from 0x0000 to 0xFFFF";
        return std::nullopt;
    }
    encoding.address = static_cast<uint16_t>(*address);
    encoding.maximum = SizeLimit(encoding.size);
    if (encoding.kind == ValueKind::Decimal) {
        const std::string* minText = field.Find("min");
        const std::string* maxText = field.Find("max");
        const std::optional<uint64_t> minimum = minText ? ParseUnsigned(*minText, 10) : 0;
        const std::optional<uint64_t> maximum =
            maxText ? ParseUnsigned(*maxText, 10) : encoding.maximum;
        if (!minimum || !maximum || *minimum > *maximum || *maximum > encoding.maximum) {
            error = "\"min\" and \"max\" must be a range within the data size";
            return std::nullopt;
        }
        encoding.minimum = *minimum;
        encoding.maximum = *maximum;
    }
    if (encoding.kind == ValueKind::Option && !ReadOptions(field, encoding, error)) {
        return std::nullopt;
    }
    return encoding;
}

uint16_t ItemType(const FieldEncoding& encoding) {
    if (encoding.kind == ValueKind::String) return 0x803;
    return encoding.size == 1 ? 0x800 : encoding.size == 2 ? 0x801 : 0x802;
}

size_t RegisterSpan(const FieldEncoding& encoding) {
    return encoding.kind == ValueKind::String ? 2 + 2 * encoding.size : encoding.size;
}

std::optional<std::vector<uint8_t>> EncodeValue(const FieldEncoding& encoding,
                                                const std::string& text) {
    if (encoding.kind == ValueKind::String) {
        if (!IsValidString(encoding, text)) return std::nullopt;
        std::vector<uint8_t> bytes = BigEndian(2 * text.size(), 2);
        for (char c : text) {
            bytes.push_back(static_cast<uint8_t>(c));
            bytes.push_back(0);
        }
        return bytes;
    }
    const std::optional<uint64_t> value = NumberOf(encoding, text);
    if (!value) return std::nullopt;
    return BigEndian(*value, encoding.size);
}

std::optional<std::string> DecodeValue(const FieldEncoding& encoding, const uint8_t* bytes,
                                       size_t size) {
    if (encoding.kind == ValueKind::String) {
        if (size < 2 || size % 2 != 0) return std::nullopt;
        const size_t length = (static_cast<size_t>(bytes[0]) << 8) | bytes[1];
        if (length != size - 2) return std::nullopt;
        std::string text;
        for (size_t i = 2; i < size; i += 2) {
            if (bytes[i + 1] != 0) return std::nullopt;
            text.push_back(static_cast<char>(bytes[i]));
        }
        if (!IsValidString(encoding, text)) return std::nullopt;
        return text;
    }
    if (size != encoding.size) return std::nullopt;
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) value = (value << 8) | bytes[i];
    char text[32];
    switch (encoding.kind) {
        case ValueKind::Hex:
            std::snprintf(text, sizeof(text), "0x%0*llX", static_cast<int>(2 * size),
                          static_cast<unsigned long long>(value));
            return std::string(text);
        case ValueKind::Decimal:
            if (value < encoding.minimum || value > encoding.maximum) return std::nullopt;
            std::snprintf(text, sizeof(text), "%llu", static_cast<unsigned long long>(value));
            return std::string(text);
        case ValueKind::Option:
            for (const auto& option : encoding.options) {
                if (option.second == value) return option.first;
            }
            return std::nullopt;
        case ValueKind::Flag:
            if (value == 1) return std::string("Enable");
            if (value == 0) return std::string("Disable");
            return std::nullopt;
        case ValueKind::String:
            break;
    }
    return std::nullopt;
}

std::optional<std::string> NormaliseValue(const FieldEncoding& encoding, const std::string& text) {
    if (!EncodeValue(encoding, text)) return std::nullopt;
    if (encoding.kind == ValueKind::Option || encoding.kind == ValueKind::Flag) {
        const std::vector<uint8_t> bytes = *EncodeValue(encoding, text);
        return DecodeValue(encoding, bytes.data(), bytes.size());
    }
    return text;
}

}  // namespace lorvath
