// State file text: { "chips": { "<instance ID>": { "areas": { "otp": "<hex>" },
// "registers": { "0x523A": 32 }, "values": { "boot": "dfu" } } } }.
#include "StateFile.h"

#include <nlohmann/json.hpp>

#include "JsonReader.h"
#include "Text.h"

namespace usbsim {

namespace {

ChipMemory ReadChip(const nlohmann::json& value, const std::string& path) {
    CJsonObject chip(value, path);
    ChipMemory memory;
    memory.initialised = true;
    if (const auto* areas = chip.Optional("areas")) {
        if (!areas->is_object()) Fail(chip.PathOf("areas"), "expected an object");
        for (const auto& [name, hex] : areas->items()) {
            const std::string where = chip.PathOf("areas") + "." + name;
            if (!hex.is_string()) Fail(where, "expected a hex string, found " + Describe(hex));
            auto bytes = ParseHexBytes(hex.get<std::string>());
            if (!bytes) Fail(where, "not a hex string");
            memory.areas[name] = std::move(*bytes);
        }
    }
    if (const auto* registers = chip.Optional("registers")) {
        if (!registers->is_object()) Fail(chip.PathOf("registers"), "expected an object");
        for (const auto& [key, byte] : registers->items()) {
            const std::string where = chip.PathOf("registers") + "." + key;
            auto address = ParseNumber(key);
            if (!address) Fail(where, "not a register address");
            memory.registers[*address] = static_cast<uint8_t>(NumberValue(byte, where, 0, 255));
        }
    }
    if (const auto* values = chip.Optional("values")) {
        if (!values->is_object()) Fail(chip.PathOf("values"), "expected an object");
        for (const auto& [name, text] : values->items()) {
            const std::string where = chip.PathOf("values") + "." + name;
            if (!text.is_string()) Fail(where, "expected a string, found " + Describe(text));
            memory.values[name] = text.get<std::string>();
        }
    }
    chip.RejectUnknown();
    return memory;
}

}  // namespace

std::string StateToJson(const ChipMemories& memories) {
    nlohmann::ordered_json chips = nlohmann::ordered_json::object();
    for (const auto& [id, memory] : memories) {
        if (!memory.initialised) continue;
        nlohmann::ordered_json chip;
        chip["areas"] = nlohmann::ordered_json::object();
        for (const auto& [name, bytes] : memory.areas) chip["areas"][name] = HexBytes(bytes);
        chip["registers"] = nlohmann::ordered_json::object();
        for (const auto& [address, byte] : memory.registers) {
            chip["registers"]["0x" + Narrow(HexWord(address, 4))] = byte;
        }
        chip["values"] = memory.values;
        chips[Narrow(id)] = std::move(chip);
    }
    nlohmann::ordered_json root;
    root["chips"] = std::move(chips);
    return root.dump(1) + "\n";
}

bool StateFromJson(const std::string& text, ChipMemories& memories, std::string& error) {
    try {
        nlohmann::json root = nlohmann::json::parse(text);
        CJsonObject top(root, "$");
        ChipMemories read;
        const auto& chips = top.Required("chips");
        if (!chips.is_object()) Fail(top.PathOf("chips"), "expected an object");
        for (const auto& [id, chip] : chips.items()) {
            read[UpperAscii(Widen(id))] = ReadChip(chip, top.PathOf("chips") + "." + id);
        }
        top.RejectUnknown();
        for (auto& [id, memory] : read) memories[id] = std::move(memory);
        return true;
    } catch (const CFixtureError& e) {
        error = e.Path() + ": " + e.what();
    } catch (const nlohmann::json::exception& e) {
        error = std::string("not valid JSON: ") + e.what();
    }
    return false;
}

}  // namespace usbsim
