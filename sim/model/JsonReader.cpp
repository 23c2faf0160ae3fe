// Path-tracking JSON field reader of the fixture parser.
#include "JsonReader.h"

#include <cstdio>
#include <vector>

#include "Text.h"

namespace usbsim {

void Fail(const std::string& path, const std::string& what) {
    throw CFixtureError(path, what);
}

namespace {

// Builds the document with nlohmann's own DOM builder and watches the events
// on the way: the JSON path of every open container, the keys each object
// has had so far, and the depth.
class CCheckedBuilder {
public:
    using json = nlohmann::json;

    explicit CCheckedBuilder(json& root) : dom_(root) {}

    bool null() { return Value() && dom_.null(); }
    bool boolean(bool v) { return Value() && dom_.boolean(v); }
    bool number_integer(json::number_integer_t v) { return Value() && dom_.number_integer(v); }
    bool number_unsigned(json::number_unsigned_t v) { return Value() && dom_.number_unsigned(v); }
    bool number_float(json::number_float_t v, const json::string_t& s) {
        return Value() && dom_.number_float(v, s);
    }
    bool string(json::string_t& v) { return Value() && dom_.string(v); }
    bool binary(json::binary_t& v) { return Value() && dom_.binary(v); }

    bool start_object(size_t size) {
        Open(false);
        return dom_.start_object(size);
    }
    bool key(json::string_t& key) {
        Frame& frame = open_.back();
        if (!frame.keys.insert(key).second) {
            Fail(frame.path, "the key \"" + key + "\" appears twice");
        }
        frame.key = key;
        return dom_.key(key);
    }
    bool end_object() {
        open_.pop_back();
        return dom_.end_object();
    }
    bool start_array(size_t size) {
        Open(true);
        return dom_.start_array(size);
    }
    bool end_array() {
        open_.pop_back();
        return dom_.end_array();
    }
    template <class Exception>
    bool parse_error(size_t position, const std::string& token, const Exception& error) {
        return dom_.parse_error(position, token, error);
    }

private:
    struct Frame {
        std::string path;
        bool array = false;
        size_t next = 0;  // arrays: index of the next element
        std::string key;  // objects: the key whose value comes next
        std::set<std::string> keys;
    };

    // The path of the value that starts now.
    std::string NextPath() {
        if (open_.empty()) return "$";
        Frame& frame = open_.back();
        if (frame.array) return frame.path + "[" + std::to_string(frame.next++) + "]";
        return frame.path + "." + frame.key;
    }
    bool Value() {
        if (!open_.empty() && open_.back().array) ++open_.back().next;
        return true;
    }
    void Open(bool array) {
        std::string path = NextPath();
        if (open_.size() >= kMaxJsonDepth) {
            Fail(path, "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
        }
        Frame frame;
        frame.path = std::move(path);
        frame.array = array;
        open_.push_back(std::move(frame));
    }

    nlohmann::detail::json_sax_dom_parser<json> dom_;
    std::vector<Frame> open_;
};

}  // namespace

nlohmann::json ParseDocument(const std::string& text) {
    nlohmann::json document;
    CCheckedBuilder builder(document);
    nlohmann::json::sax_parse(text, &builder);
    return document;
}

std::string Describe(const nlohmann::json& value) {
    switch (value.type()) {
        case nlohmann::json::value_t::null:
            return "null";
        case nlohmann::json::value_t::boolean:
            return value.get<bool>() ? "true" : "false";
        case nlohmann::json::value_t::string: {
            std::string text = value.get<std::string>();
            if (text.size() > 40) text = text.substr(0, 40) + "...";
            return "\"" + text + "\"";
        }
        case nlohmann::json::value_t::object:
            return "an object";
        case nlohmann::json::value_t::array:
            return "an array";
        default:
            return "the number " + value.dump();
    }
}

CJsonObject::CJsonObject(const nlohmann::json& value, std::string path)
    : value_(value), path_(std::move(path)) {
    if (!value_.is_object()) Fail(path_, "expected an object, got " + Describe(value_));
}

bool CJsonObject::Has(const char* key) const {
    return value_.contains(key);
}

const nlohmann::json* CJsonObject::Optional(const char* key) {
    read_.insert(key);
    auto it = value_.find(key);
    return it == value_.end() ? nullptr : &*it;
}

const nlohmann::json& CJsonObject::Required(const char* key) {
    const nlohmann::json* value = Optional(key);
    if (value == nullptr) Fail(path_, std::string("missing field \"") + key + "\"");
    return *value;
}

void CJsonObject::RejectUnknown() const {
    for (auto it = value_.begin(); it != value_.end(); ++it) {
        if (read_.count(it.key()) == 0) Fail(PathOf(it.key()), "unknown field");
    }
}

std::string CJsonObject::String(const char* key, const std::string& fallback) {
    const nlohmann::json* value = Optional(key);
    if (value == nullptr) return fallback;
    if (!value->is_string()) Fail(PathOf(key), "expected a string, got " + Describe(*value));
    return value->get<std::string>();
}

std::string CJsonObject::RequiredString(const char* key) {
    Required(key);
    return String(key, "");
}

uint32_t NumberValue(const nlohmann::json& value, const std::string& path, uint32_t min,
                     uint32_t max) {
    std::optional<uint32_t> number;
    if (value.is_number_unsigned()) {
        uint64_t v = value.get<uint64_t>();
        if (v <= 0xFFFFFFFFull) number = static_cast<uint32_t>(v);
    } else if (value.is_string()) {
        number = ParseNumber(value.get<std::string>());
    }
    if (!number) Fail(path, "expected a whole number (or \"0x...\"), got " + Describe(value));
    if (*number < min || *number > max) {
        Fail(path, "value " + std::to_string(*number) + " is out of range " + std::to_string(min) +
                       ".." + std::to_string(max));
    }
    return *number;
}

std::optional<uint32_t> CJsonObject::OptionalNumber(const char* key, uint32_t min, uint32_t max) {
    const nlohmann::json* value = Optional(key);
    if (value == nullptr) return std::nullopt;
    return NumberValue(*value, PathOf(key), min, max);
}

uint32_t CJsonObject::Number(const char* key, uint32_t fallback, uint32_t min, uint32_t max) {
    return OptionalNumber(key, min, max).value_or(fallback);
}

double CJsonObject::Real(const char* key, double fallback, double min, bool minExclusive) {
    const nlohmann::json* value = Optional(key);
    if (value == nullptr) return fallback;
    if (!value->is_number()) Fail(PathOf(key), "expected a number, got " + Describe(*value));
    double v = value->get<double>();
    if (minExclusive ? !(v > min) : !(v >= min)) {
        char bound[32];
        snprintf(bound, sizeof(bound), "%g", min);
        Fail(PathOf(key), std::string("must be ") + (minExclusive ? "greater than " : "at least ") +
                              bound + ", got " + value->dump());
    }
    return v;
}

bool CJsonObject::Bool(const char* key, bool fallback) {
    const nlohmann::json* value = Optional(key);
    if (value == nullptr) return fallback;
    if (!value->is_boolean()) Fail(PathOf(key), "expected true or false, got " + Describe(*value));
    return value->get<bool>();
}

uint16_t CJsonObject::HexId(const char* key) {
    const nlohmann::json& value = Required(key);
    std::optional<uint32_t> id;
    if (value.is_string() && value.get<std::string>().size() == 4) {
        id = ParseHex(value.get<std::string>(), 4);
    }
    if (!id) Fail(PathOf(key), "expected 4 hex digits, got " + Describe(value));
    return static_cast<uint16_t>(*id);
}

}  // namespace usbsim
