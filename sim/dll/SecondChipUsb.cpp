// Second-family hubs on the simulated bus. The chip's logic is CSecondChip
// (chips/second); this adds the function's handles, faults, latency, the
// state file, and the bus changes: the function appearing after the vendor
// requests, the restart into ROM after a signature erase, a hub unplugged in
// the middle of an operation. Latency is slept and notifications are sent
// after the model's lock is released.
#include "SecondChipUsb.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../UsbSimApi.h"
#include "SecondChip.h"
#include "DeviceTime.h"
#include "Simulator.h"
#include "UsbStructs.h"

namespace usbsim {

namespace {

CSimulator& Sim() {
    return CSimulator::Instance();
}

constexpr BYTE kVendorSetupPacket[8] = {0x40, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00};
constexpr BYTE kVendorData[2][2] = {{0x01, 0x00}, {0x01, 0x02}};

// Volatile state of a hub on the bus (by node id, so a re-plugged or
// restarted hub starts afresh). Guarded by the model's lock.
struct LinkState {
    int vendorRequests = 0;  // of the two, in order
    bool passthrough = false;
};
std::map<uint32_t, LinkState> g_links;

// A delay of the bus, not of the chip: slept, not counted as device time.
void Pause(double microseconds) {
    double ms = microseconds / 1000.0 / Sim().TimeScale();
    if (ms >= 1.0) ::Sleep(ms >= 60000.0 ? 60000 : static_cast<DWORD>(ms));
}

// What one call does besides its answer, carried out after the lock.
struct Effects {
    double delayUs = 0;
    bool memoryChanged = false;
    uint32_t restartHub = 0;  // leaves the bus and returns in ROM
    uint32_t unplugHub = 0;   // leaves the bus for good
};

// A "detach" fault whose "during" names this operation.
bool DetachFires(SimNode& hub, const std::string& op) {
    for (auto& fault : hub.faults) {
        if (fault.spec.op != "detach" || fault.spec.during != op) continue;
        if (fault.passed < fault.spec.after) {
            ++fault.passed;
            continue;
        }
        if (fault.spec.count && fault.fired >= *fault.spec.count) continue;
        ++fault.fired;
        return true;
    }
    return false;
}

// A fault's answer: a failed transfer with its system error, else a refusal.
int FaultResult(const FaultSpec& fault) {
    return fault.systemError ? static_cast<int>(*fault.systemError) : USBSIM_SECOND_REFUSED;
}

int FlashResult(FlashAnswer answer) {
    return answer == FlashAnswer::kUsable        ? USBSIM_OK
           : answer == FlashAnswer::kUnsupported ? USBSIM_SECOND_UNSUPPORTED_FLASH
                                                 : USBSIM_SECOND_NO_FLASH;
}

struct CallContext {
    CSimModel& model;
    SimNode& hub;
    CSecondChip& chip;
    LinkState& link;
    Effects& effects;
};

// Runs one call on the hub behind a function handle: the transfer and
// detach faults first, then body(context) under the lock.
template <typename Body>
int Call(void* handle, const char* op, Body body) {
    auto target = Sim().Handles().Target(static_cast<HANDLE>(handle));
    if (!target) return ERROR_INVALID_HANDLE;
    Effects effects;
    int result = Sim().WithModel([&](CSimModel& model) -> int {
        const SimNode* function = model.Node(*target);
        SimNode* hub = function != nullptr ? model.Node(function->parent) : nullptr;
        if (hub == nullptr || hub->kind != NodeKind::kHub || !hub->spec->chip.second) {
            return ERROR_NO_SUCH_DEVICE;
        }
        effects.delayUs = model.Latency().requestUs;
        if (auto fault = model.FireFault(hub->id, "winusbTransfer")) {
            return static_cast<int>(fault->systemError.value_or(ERROR_GEN_FAILURE));
        }
        if (DetachFires(*hub, op)) {
            effects.unplugHub = hub->id;
            return ERROR_NO_SUCH_DEVICE;
        }
        CSecondChip chip(model.Memory(*hub), *hub->spec);
        CallContext context{model, *hub, chip, g_links[hub->id], effects};
        return body(context);
    });
    if (effects.memoryChanged) Sim().MemoryChanged();
    SpendChipTime(effects.delayUs / 1000.0);
    if (effects.unplugHub != 0) {
        std::vector<InterfaceEvent> left;
        Sim().WithModel([&](CSimModel& model) { model.Leave(effects.unplugHub, left); });
        Sim().Notifications().Deliver(left, false);
    }
    return result;
}

// The function appears after the fixture's ep5EnableMs, on a thread of its own
// so the caller's notification window is free to handle the arrival.
struct EnableJob {
    uint32_t hubId;
    double delayMs;
    HMODULE module;
};

DWORD WINAPI EnableFunctionThread(void* parameter) {
    EnableJob job = *static_cast<EnableJob*>(parameter);
    delete static_cast<EnableJob*>(parameter);
    Pause(job.delayMs * 1000.0);
    std::vector<InterfaceEvent> arrived;
    Sim().WithModel([&](CSimModel& model) { model.EnableEp5Function(job.hubId, arrived); });
    Sim().Notifications().Deliver(arrived, true);
    Sim().EndBackgroundChange();
    if (job.module != nullptr) FreeLibraryAndExitThread(job.module, 0);
    return 0;
}

void EnableFunctionLater(uint32_t hubId, double delayMs) {
    Sim().BeginBackgroundChange();
    auto* job = new EnableJob{hubId, delayMs, nullptr};
    // The thread keeps this module loaded until it ends.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&EnableFunctionThread), &job->module);
    HANDLE thread = CreateThread(nullptr, 0, EnableFunctionThread, job, 0, nullptr);
    if (thread != nullptr) {
        CloseHandle(thread);
        return;
    }
    if (job->module != nullptr) FreeLibrary(job->module);
    delete job;
    Sim().EndBackgroundChange();
}

}  // namespace

DWORD AnswerVendorRequest(uint32_t hubNodeId, const void* in, DWORD inSize, void* out,
                          DWORD outSize, DWORD& returned) {
    returned = 0;
    if (in == nullptr || inSize < sizeof(kVendorSetupPacket) || out == nullptr || outSize < 2) {
        return ERROR_INVALID_PARAMETER;
    }
    bool enable = false;
    double delayMs = 0;
    DWORD error = Sim().WithModel([&](CSimModel& model) -> DWORD {
        const SimNode* hub = model.Node(hubNodeId);
        if (hub == nullptr) return ERROR_NO_SUCH_DEVICE;
        if (hub->kind != NodeKind::kHub || !hub->spec->chip.second) return ERROR_INVALID_FUNCTION;
        if (auto fault = model.FireFault(hubNodeId, "readControl")) {
            return fault->systemError.value_or(ERROR_GEN_FAILURE);
        }
        if (memcmp(in, kVendorSetupPacket, sizeof(kVendorSetupPacket)) != 0) {
            return ERROR_GEN_FAILURE;  // a request the hub stalls
        }
        LinkState& link = g_links[hubNodeId];
        const BYTE* data = static_cast<const BYTE*>(out);
        if (link.vendorRequests == 1 && memcmp(data, kVendorData[1], 2) == 0) {
            link.vendorRequests = 0;
            enable = model.PortChild(hubNodeId, *hub->spec->chip.second->ep5Port) == nullptr;
            delayMs = model.Latency().ep5EnableMs;
        } else {
            link.vendorRequests = memcmp(data, kVendorData[0], 2) == 0 ? 1 : 0;
        }
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) return error;
    returned = 2;
    if (enable) EnableFunctionLater(hubNodeId, delayMs);
    return ERROR_SUCCESS;
}

}  // namespace usbsim

using usbsim::CallContext;
using usbsim::CSimulator;

extern "C" {

int __cdecl UsbSimSecondOpen(const wchar_t* hubPath, void** handle) {
    if (hubPath == nullptr || handle == nullptr) return USBSIM_ERROR_ARGUMENT;
    *handle = nullptr;
    size_t skip =
        wcsncmp(hubPath, L"\\\\?\\", 4) == 0 || wcsncmp(hubPath, L"\\\\.\\", 4) == 0 ? 4 : 0;
    uint32_t function = 0;
    int result = CSimulator::Instance().WithModel([&](usbsim::CSimModel& model) -> int {
        const usbsim::SimNode* hub = model.FindHub(hubPath + skip);
        if (hub == nullptr || !hub->spec->chip.second) return ERROR_FILE_NOT_FOUND;
        const usbsim::SimNode* child = model.PortChild(hub->id, *hub->spec->chip.second->ep5Port);
        if (child == nullptr || child->kind != usbsim::NodeKind::kEp5Function) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (auto fault = model.FireFault(hub->id, "winusbOpen")) {
            return static_cast<int>(fault->systemError.value_or(ERROR_GEN_FAILURE));
        }
        function = child->id;
        return USBSIM_OK;
    });
    if (result != USBSIM_OK) return result;
    HANDLE opened = CSimulator::Instance().Handles().Open(function);
    if (opened == INVALID_HANDLE_VALUE) return ERROR_NOT_ENOUGH_MEMORY;
    *handle = opened;
    return USBSIM_OK;
}

int __cdecl UsbSimSecondClose(void* handle) {
    return CSimulator::Instance().Handles().Close(static_cast<HANDLE>(handle))
               ? USBSIM_OK
               : ERROR_INVALID_HANDLE;
}

int __cdecl UsbSimSecondReadRegister(void* handle, unsigned address, unsigned char* value) {
    if (value == nullptr) return USBSIM_ERROR_ARGUMENT;
    return usbsim::Call(handle, "registerRead", [&](CallContext& c) -> int {
        if (auto fault = c.model.FireFault(c.hub.id, "registerRead", address)) {
            return usbsim::FaultResult(*fault);
        }
        *value = c.chip.ReadRegister(address);
        return USBSIM_OK;
    });
}

int __cdecl UsbSimSecondWriteRegister(void* handle, unsigned address, unsigned char value) {
    return usbsim::Call(handle, "registerWrite", [&](CallContext& c) -> int {
        if (auto fault = c.model.FireFault(c.hub.id, "registerWrite", address)) {
            return usbsim::FaultResult(*fault);
        }
        c.chip.WriteRegister(address, value);
        c.effects.memoryChanged = true;
        return USBSIM_OK;
    });
}

int __cdecl UsbSimSecondReadOtp(void* handle, unsigned offset, unsigned char* buffer,
                                unsigned count, unsigned* done) {
    if (buffer == nullptr || done == nullptr) return USBSIM_ERROR_ARGUMENT;
    *done = 0;
    return usbsim::Call(handle, "otpRead", [&](CallContext& c) -> int {
        unsigned wanted = count;
        if (auto fault = c.model.FireFault(c.hub.id, "otpRead")) {
            if (!fault->shortBytes) return usbsim::FaultResult(*fault);
            wanted = std::min(count, *fault->shortBytes);
        }
        *done = c.chip.ReadOtp(offset, buffer, wanted);
        return USBSIM_OK;
    });
}

int __cdecl UsbSimSecondWriteOtp(void* handle, unsigned offset, const unsigned char* data,
                                 unsigned count, unsigned* done) {
    if (data == nullptr || done == nullptr) return USBSIM_ERROR_ARGUMENT;
    *done = 0;
    return usbsim::Call(handle, "otpWrite", [&](CallContext& c) -> int {
        if (auto fault = c.model.FireFault(c.hub.id, "otpWrite")) {
            return usbsim::FaultResult(*fault);
        }
        uint32_t written = 0;
        if (!c.chip.WriteOtp(offset, data, count, written)) return USBSIM_SECOND_REFUSED;
        *done = written;
        c.effects.memoryChanged = true;
        c.effects.delayUs += c.model.Latency().otpByteUs * written;
        return USBSIM_OK;
    });
}

int __cdecl UsbSimSecondHubInfo(void* handle, unsigned char* buffer, unsigned capacity,
                                unsigned* length) {
    if (buffer == nullptr || length == nullptr) return USBSIM_ERROR_ARGUMENT;
    *length = 0;
    return usbsim::Call(handle, "hubInfo", [&](CallContext& c) -> int {
        std::vector<uint8_t> info = c.chip.HubInfo();
        *length = std::min<unsigned>(capacity, static_cast<unsigned>(info.size()));
        memcpy(buffer, info.data(), *length);
        return USBSIM_OK;
    });
}

int __cdecl UsbSimSecondPassthrough(void* handle, int enter) {
    return usbsim::Call(handle, "spiPassthrough", [&](CallContext& c) -> int {
        if (enter != 0) {
            if (auto fault = c.model.FireFault(c.hub.id, "spiPassthrough")) {
                return usbsim::FaultResult(*fault);
            }
        }
        c.link.passthrough = enter != 0;
        return USBSIM_OK;
    });
}

int __cdecl UsbSimSecondFlashId(void* handle) {
    return usbsim::Call(handle, "flashId", [&](CallContext& c) -> int {
        return usbsim::FlashResult(c.chip.IdentifyFlash());
    });
}

int __cdecl UsbSimSecondReadFlash(void* handle, unsigned first, unsigned last,
                                  unsigned char* buffer) {
    if (buffer == nullptr || last < first) return USBSIM_ERROR_ARGUMENT;
    return usbsim::Call(handle, "flashRead", [&](CallContext& c) -> int {
        if (auto fault = c.model.FireFault(c.hub.id, "flashRead")) {
            return usbsim::FaultResult(*fault);
        }
        if (c.chip.IdentifyFlash() != usbsim::FlashAnswer::kUsable) {
            return usbsim::FlashResult(c.chip.IdentifyFlash());
        }
        if (!c.chip.ReadFlash(first, last, buffer)) return USBSIM_SECOND_REFUSED;
        // A corrupted read-back fault flips the byte at its address.
        for (auto& fault : c.hub.faults) {
            if (fault.spec.op != "readBackCorrupt" || !fault.spec.address) continue;
            const uint32_t at = *fault.spec.address;
            if (at < first || at > last) continue;
            if (c.model.FireFault(c.hub.id, "readBackCorrupt", at)) buffer[at - first] ^= 0xFF;
        }
        return USBSIM_OK;
    });
}

int __cdecl UsbSimSecondLoadFlash(void* handle, const unsigned char* image, unsigned size) {
    if (image == nullptr || size == 0) return USBSIM_ERROR_ARGUMENT;
    return usbsim::Call(handle, "flashProgram", [&](CallContext& c) -> int {
        if (c.chip.IdentifyFlash() != usbsim::FlashAnswer::kUsable) {
            return usbsim::FlashResult(c.chip.IdentifyFlash());
        }
        int failure = USBSIM_OK;
        auto fails = [&](const char* op, uint32_t address) {
            auto fault = c.model.FireFault(c.hub.id, op, address);
            if (fault) failure = usbsim::FaultResult(*fault);
            return fault.has_value();
        };
        usbsim::FlashWork work;
        bool loaded = c.chip.LoadFlash(image, size, fails, work);
        const usbsim::LatencySpec& latency = c.model.Latency();
        c.effects.delayUs += work.sectorsErased * latency.sectorEraseMs * 1000.0 +
                             work.pagesProgrammed * latency.flashPageUs;
        c.effects.memoryChanged = work.sectorsErased > 0;
        if (loaded) return USBSIM_OK;
        return failure != USBSIM_OK ? failure : USBSIM_SECOND_REFUSED;
    });
}

int __cdecl UsbSimSecondEraseSignature(void* handle) {
    uint32_t restart = 0;
    double rebootMs = 0;
    int result = usbsim::Call(handle, "signatureErase", [&](CallContext& c) -> int {
        if (c.chip.IdentifyFlash() != usbsim::FlashAnswer::kUsable) {
            return usbsim::FlashResult(c.chip.IdentifyFlash());
        }
        int failure = USBSIM_OK;
        auto fails = [&](const char* op, uint32_t) {
            auto fault = c.model.FireFault(c.hub.id, op);
            if (fault) failure = usbsim::FaultResult(*fault);
            return fault.has_value();
        };
        usbsim::FlashWork work;
        if (!c.chip.EraseSignature(fails, work)) {
            return failure != USBSIM_OK ? failure : USBSIM_SECOND_REFUSED;
        }
        c.effects.memoryChanged = true;
        c.effects.delayUs += work.sectorsErased * c.model.Latency().sectorEraseMs * 1000.0;
        restart = c.hub.id;
        rebootMs = c.model.Latency().rebootMs;
        return USBSIM_OK;
    });
    // Without its signature the chip restarts from ROM: it leaves the bus and
    // returns with its fifth-endpoint function off. Until it has left it still
    // runs its SPI firmware and reports so.
    if (restart != 0) {
        CSimulator::Instance().LeaveAndReturn(
            restart, rebootMs, nullptr, [](usbsim::CSimModel& model, const usbsim::SimNode& hub) {
                if (hub.spec && hub.spec->chip.second) {
                    usbsim::CSecondChip(model.Memory(hub), *hub.spec).RestartInRom();
                }
            });
    }
    return result;
}

}  // extern "C"
