// Writes the demo's sample files with our own block format code, so the demo
// hands the hubs nothing of unknown origin. Built for and run on the build
// machine:  make-demo-samples OUTPUT-FOLDER
//   demo-config.cfg    a configuration block: product strings and settings
//   demo-firmware.bin  a 65535-byte image with the "2DFU" tag at 0xFFFA
#include <cstdio>
#include <string>
#include <vector>

#include "ConfigBlock.h"

namespace {

// Register address (big-endian; one byte for types 0x808 to 0x80A) followed
// by its values.
cfgblock::NewItem Item(uint16_t type, uint16_t address, std::vector<uint8_t> values) {
    cfgblock::NewItem item;
    item.type = type;
    if (type >= 0x808 && type <= 0x80A) {
        item.data = {static_cast<uint8_t>(address)};
    } else {
        item.data = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    }
    item.data.insert(item.data.end(), values.begin(), values.end());
    return item;
}

// A USB string: its byte count, then UTF-16LE text.
std::vector<uint8_t> UsbString(const std::string& text) {
    std::vector<uint8_t> out = {0, static_cast<uint8_t>(2 * text.size())};
    for (char c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo-samples OUTPUT-FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];

    const auto block = cfgblock::BuildBlock({
        Item(0x800, 0x3000, {0x5A}),                     // power-on settings
        Item(0x801, 0x3006, {0x01, 0xF4}),               // 500 mA per port
        Item(0x803, 0x3040, UsbString("Quorvel Line")),  // manufacturer string
        Item(0x803, 0x3060, UsbString("ZRV Demo Hub")),  // product string
        Item(0x808, 0x20, {0x0F}),                       // ports 1 to 4 enabled
    });
    if (!block || !WriteFile(folder + "/demo-config.cfg", *block)) {
        std::fprintf(stderr, "make-demo-samples: cannot write %s/demo-config.cfg\n",
                     folder.c_str());
        return 1;
    }

    std::vector<uint8_t> image(0xFFFF, 0xFF);
    const std::string banner = "ZRV demo firmware image";
    for (size_t i = 0; i < 0xF000; ++i) image[i] = static_cast<uint8_t>((i * 7 + 3) & 0xFF);
    std::copy(banner.begin(), banner.end(), image.begin());
    const char tag[4] = {'2', 'D', 'F', 'U'};
    std::copy(tag, tag + 4, image.begin() + 0xFFFA);
    if (!WriteFile(folder + "/demo-firmware.bin", image)) {
        std::fprintf(stderr, "make-demo-samples: cannot write %s/demo-firmware.bin\n",
                     folder.c_str());
        return 1;
    }
    return 0;
}
