#include "ProgramOptions.h"

#include "HalvexZRVLib.h"
#include "SerialCounter.h"

const wchar_t kProgramUsage[] =
    L"usage: zrvcli program (--family first|second | --position P...) --file FILE "
    L"--mode otp|spi|spi-config|spi-copy-otp [--verify] [--serial-uuid | --serial-prefix TEXT "
    L"--serial-start N [--serial-max N] [--serial-step N] [--serial-hex]] [--auto] "
    L"[--record FILE] [--settle-ms N]\n"
    L"       zrvcli program --topology FILE.tcf [--disable-uuid] [--auto] [--record FILE] "
    L"[--settle-ms N]";

namespace {

struct ModeName {
    int32_t mode;
    const wchar_t* name;
};

const ModeName kModeNames[] = {
    {STORAGE_SPI_PARTIAL_CONFIG, L"spi-config"},
    {STORAGE_SPI_COPY_FROM_OTP, L"spi-copy-otp"},
    {STORAGE_SPI, L"spi"},
    {STORAGE_OTP, L"otp"},
};

bool IsDecimal(const std::wstring& text) {
    if (text.empty() || text.size() > 9) return false;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
    }
    return true;
}

std::wstring Fail(ProgramOptionsResult& result, const std::wstring& error) {
    result.ok = false;
    result.error = error;
    return error;
}

}  // namespace

bool IsTopologyPosition(const std::wstring& text) {
    if (text.rfind(L"1-", 0) != 0) return false;
    size_t start = 2;
    while (true) {
        const size_t dash = text.find(L'-', start);
        const std::wstring part =
            text.substr(start, dash == std::wstring::npos ? dash : dash - start);
        if (!IsDecimal(part) || part[0] == L'0') return false;
        if (dash == std::wstring::npos) return true;
        start = dash + 1;
    }
}

int32_t StorageModeFromName(const std::wstring& name) {
    for (const ModeName& m : kModeNames) {
        if (name == m.name) return m.mode;
    }
    return -1;
}

std::wstring StorageModeName(int32_t mode) {
    for (const ModeName& m : kModeNames) {
        if (mode == m.mode) return m.name;
    }
    return L"n/a";
}

bool StorageModeTakesBlock(int32_t mode) {
    return mode == STORAGE_SPI_PARTIAL_CONFIG || mode == STORAGE_OTP;
}

ProgramOptionsResult ParseProgramOptions(const std::vector<std::wstring>& args) {
    ProgramOptionsResult result;
    ProgramOptions& o = result.options;
    bool haveFamily = false;
    bool haveMode = false;
    bool haveMax = false;
    bool haveStep = false;
    bool counterOption = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& name = args[i];
        // Options without a value.
        if (name == L"--verify") {
            o.verify = true;
            continue;
        }
        if (name == L"--auto") {
            o.automated = true;
            continue;
        }
        if (name == L"--disable-uuid") {
            o.disableUuid = true;
            continue;
        }
        if (name == L"--serial-uuid") {
            if (o.serial == SerialKind::kUuid) {
                Fail(result, L"--serial-uuid given twice");
                return result;
            }
            o.serial = SerialKind::kUuid;
            continue;
        }
        if (name == L"--serial-hex") {
            o.counter.hex = true;
            counterOption = true;
            continue;
        }
        static const wchar_t* const kValued[] = {
            L"--family",        L"--position",     L"--file",       L"--mode",
            L"--serial-prefix", L"--serial-start", L"--serial-max", L"--serial-step",
            L"--record",        L"--settle-ms",    L"--topology"};
        bool valued = false;
        for (const wchar_t* v : kValued) valued = valued || name == v;
        if (!valued) {
            Fail(result, L"unknown option " + name);
            return result;
        }
        if (i + 1 >= args.size()) {
            Fail(result, name + L" needs a value");
            return result;
        }
        const std::wstring& value = args[++i];
        auto once = [&](bool given) {
            if (given) Fail(result, name + L" given twice");
            return !given;
        };
        if (name == L"--family") {
            if (!once(haveFamily)) return result;
            haveFamily = true;
            if (value == L"first") {
                o.family = HUB_FAMILY_MIRAVEL;
            } else if (value == L"second") {
                o.family = HUB_FAMILY_TORVIK;
            } else {
                Fail(result, L"unknown family " + value + L" (first or second)");
                return result;
            }
        } else if (name == L"--position") {
            if (!IsTopologyPosition(value)) {
                Fail(result, L"not a position: " + value + L" (such as 1-1-2-3)");
                return result;
            }
            for (const std::wstring& p : o.positions) {
                if (p == value) {
                    Fail(result, L"position " + value + L" given twice");
                    return result;
                }
            }
            o.positions.push_back(value);
        } else if (name == L"--file") {
            if (!once(!o.file.empty())) return result;
            if (value.empty()) {
                Fail(result, L"--file needs a value");
                return result;
            }
            o.file = value;
        } else if (name == L"--mode") {
            if (!once(haveMode)) return result;
            haveMode = true;
            o.storageMode = StorageModeFromName(value);
            if (o.storageMode < 0) {
                Fail(result,
                     L"unknown storage mode " + value + L" (otp, spi, spi-config or spi-copy-otp)");
                return result;
            }
        } else if (name == L"--serial-prefix") {
            if (!once(!o.counter.prefix.empty())) return result;
            o.counter.prefix = value;
            counterOption = true;
        } else if (name == L"--serial-start") {
            if (!once(!o.counter.start.empty())) return result;
            o.counter.start = value;
            counterOption = true;
        } else if (name == L"--serial-max") {
            if (!once(haveMax)) return result;
            haveMax = true;
            o.counter.maximum = value;
            counterOption = true;
        } else if (name == L"--serial-step") {
            if (!once(haveStep)) return result;
            haveStep = true;
            if (!IsDecimal(value) || std::stoul(value) == 0) {
                Fail(result, L"--serial-step needs a number from 1");
                return result;
            }
            o.counter.increment = static_cast<uint32_t>(std::stoul(value));
            counterOption = true;
        } else if (name == L"--record") {
            if (!once(!o.recordFile.empty())) return result;
            if (value.empty()) {
                Fail(result, L"--record needs a value");
                return result;
            }
            o.recordFile = value;
        } else if (name == L"--topology") {
            if (!once(!o.topology.empty())) return result;
            if (value.empty()) {
                Fail(result, L"--topology needs a value");
                return result;
            }
            o.topology = value;
        } else if (name == L"--settle-ms") {
            if (!IsDecimal(value)) {
                Fail(result, L"--settle-ms needs a number of milliseconds");
                return result;
            }
            o.settleMs = static_cast<uint32_t>(std::stoul(value));
        }
    }

    if (!o.topology.empty()) {
        // The topology gives every hub its own settings.
        const struct {
            bool given;
            const wchar_t* name;
        } perHub[] = {{haveFamily, L"--family"},
                      {!o.positions.empty(), L"--position"},
                      {!o.file.empty(), L"--file"},
                      {haveMode, L"--mode"},
                      {o.verify, L"--verify"},
                      {o.serial == SerialKind::kUuid, L"--serial-uuid"},
                      {counterOption, L"the serial counter options"}};
        for (const auto& option : perHub) {
            if (!option.given) continue;
            Fail(result,
                 std::wstring(L"--topology takes each hub's settings from the file: ") +
                     option.name +
                     (option.name[0] == L'-' ? L" does not go with it" : L" do not go with it"));
            return result;
        }
        result.ok = true;
        return result;
    }
    if (o.disableUuid) {
        Fail(result, L"--disable-uuid goes with --topology");
        return result;
    }
    if (haveFamily == !o.positions.empty()) {
        Fail(result, L"give either --family or --position");
        return result;
    }
    o.selection = haveFamily ? HubSelection::kFamily : HubSelection::kPositions;
    if (o.file.empty()) {
        Fail(result, L"--file is missing");
        return result;
    }
    if (!haveMode) {
        Fail(result, L"--mode is missing");
        return result;
    }
    if (counterOption) {
        if (o.serial == SerialKind::kUuid) {
            Fail(result, L"--serial-uuid and a serial counter exclude each other");
            return result;
        }
        if (o.counter.start.empty()) {
            Fail(result, L"a serial counter needs --serial-start");
            return result;
        }
        o.serial = SerialKind::kCounter;
        if (!haveMax) {
            o.counter.maximum = std::wstring(o.counter.start.size(), o.counter.hex ? L'F' : L'9');
        }
        const int check = ValidateSerialParams(o.counter.prefix, o.counter.start, o.counter.maximum,
                                               o.counter.start, o.counter.increment, o.counter.hex);
        if (check != kSerialOk) {
            Fail(result, std::wstring(L"serial counter: ") + SerialErrorText(check));
            return result;
        }
    }
    if (o.serial != SerialKind::kNone && !StorageModeTakesBlock(o.storageMode)) {
        Fail(result,
             L"serial numbers go into configuration blocks: use them with otp or spi-config");
        return result;
    }
    result.ok = true;
    return result;
}
