// Reads JSON values for the fixture parser while tracking where they are, so
// every complaint names the JSON path ($.controllers[0].children.2.hub.vid).
// Unknown fields are errors: a typo in a fixture must not pass silently.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace usbsim {

// Thrown inside the parser; carries the JSON path and what is wrong there.
class CFixtureError : public std::runtime_error {
public:
    CFixtureError(const std::string& path, const std::string& what)
        : std::runtime_error(what), path_(path) {}
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

[[noreturn]] void Fail(const std::string& path, const std::string& what);

// Short description of a value for error texts: "a string", "the number 5".
std::string Describe(const nlohmann::json& value);

// A JSON object being read field by field.
class CJsonObject {
public:
    CJsonObject(const nlohmann::json& value, std::string path);

    const std::string& Path() const { return path_; }
    std::string PathOf(const std::string& key) const { return path_ + "." + key; }

    bool Has(const char* key) const;
    const nlohmann::json* Optional(const char* key);
    const nlohmann::json& Required(const char* key);
    // Call after reading: any field never asked for is an error.
    void RejectUnknown() const;

    std::string String(const char* key, const std::string& fallback);
    std::string RequiredString(const char* key);
    // A number, or a string holding a decimal or 0x-prefixed hex number.
    uint32_t Number(const char* key, uint32_t fallback, uint32_t min, uint32_t max);
    std::optional<uint32_t> OptionalNumber(const char* key, uint32_t min, uint32_t max);
    double Real(const char* key, double fallback, double min, bool minExclusive);
    bool Bool(const char* key, bool fallback);
    // Exactly `digits` hex digits in a string ("3B9A").
    uint16_t HexId(const char* key);

private:
    const nlohmann::json& value_;
    std::string path_;
    std::set<std::string> read_;
};

// Deepest nesting of objects and arrays a fixture may use; deeper documents
// are refused before the readers recurse into them.
constexpr size_t kMaxJsonDepth = 100;

// Parses a whole document. Syntax errors throw nlohmann::json::parse_error; a
// key given twice in one object or nesting deeper than kMaxJsonDepth throws
// CFixtureError with the path where it happens.
nlohmann::json ParseDocument(const std::string& text);

// A number, or a string holding one, checked against [min, max].
uint32_t NumberValue(const nlohmann::json& value, const std::string& path, uint32_t min,
                     uint32_t max);

}  // namespace usbsim
