// Turns fixture and board JSON text into validated specs. Errors read
// "<source>: <JSON path>: <what is wrong>". Files named inside the JSON (flash
// images) are read through the caller's reader, so this stays free of the OS.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "FixtureTypes.h"

namespace usbsim {

// Reads a file named in the fixture (relative to the fixture's folder); on
// failure returns false and sets the reason.
using FileReader =
    std::function<bool(const std::string& name, std::vector<uint8_t>& data, std::string& reason)>;

class CFixtureParser {
public:
    CFixtureParser(std::string sourceName, FileReader reader);

    bool ParseFixture(const std::string& jsonText, FixtureSpec& fixture);
    // A board: one object holding a "hub" or a "device".
    bool ParseBoard(const std::string& jsonText, DeviceSpec& board);

    const std::string& Error() const { return error_; }

private:
    template <typename Body>
    bool Run(const std::string& jsonText, Body body);

    std::string source_;
    FileReader reader_;
    std::string error_;
};

}  // namespace usbsim
