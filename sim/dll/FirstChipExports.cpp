// The first-family chip behind UsbSim.dll's UsbSimFirst... exports: finds the
// session's hub, fires its faults, runs the chip operation on its memory under
// the model's lock, and after releasing the lock reports the change, performs
// a detach or reboot and sleeps the operation's latency.
#include <windows.h>

#include <functional>
#include <string>

#include "../UsbSimApi.h"
#include "DeviceTime.h"
#include "FirstChip.h"
#include "FirstChipLatency.h"
#include "Simulator.h"

namespace usbsim {

namespace {

using first::CFirstChip;
using first::ChipOperation;
using first::ChipStatus;

CSimulator& Sim() {
    return CSimulator::Instance();
}

// What one request did, carried out of the model's lock.
struct Outcome {
    DWORD error = ERROR_SUCCESS;
    double latencyMs = 0;
    bool changed = false;
    bool reboot = false;
    uint32_t hubId = 0;
    std::wstring detachPosition;  // a "detach" fault unplugs the hub here
};

DWORD ErrorOf(ChipStatus status) {
    switch (status) {
        case ChipStatus::kOk:
            return ERROR_SUCCESS;
        case ChipStatus::kOutOfRange:
        case ChipStatus::kBadRequest:
            return ERROR_INVALID_PARAMETER;
        case ChipStatus::kNoFlash:
            return ERROR_NOT_SUPPORTED;
        case ChipStatus::kNoRoom:
        case ChipStatus::kWouldClearBit:
            return ERROR_GEN_FAILURE;
    }
    return ERROR_GEN_FAILURE;
}

DWORD FaultError(const FaultSpec& fault) {
    return fault.systemError.value_or(ERROR_GEN_FAILURE);
}

// The tool's position string of a hub: 1-<controller>-<root port>-<port>...
std::wstring PositionOf(CSimModel& model, const SimNode& node) {
    std::vector<uint32_t> ports;
    const SimNode* at = &node;
    while (at != nullptr && (at->kind == NodeKind::kHub || at->kind == NodeKind::kDevice)) {
        ports.push_back(at->port);
        at = model.Node(at->parent);
    }
    std::wstring text = L"1-" + std::to_wstring(node.controller + 1);
    for (auto it = ports.rbegin(); it != ports.rend(); ++it) text += L"-" + std::to_wstring(*it);
    return text;
}

// Flips the bits of one byte a "readBackCorrupt" fault names (the first byte
// read when it names none) if that byte lies in [address, address + length).
void CorruptReadBack(CSimModel& model, uint32_t nodeId, uint32_t address, uint8_t* data,
                     uint32_t length) {
    SimNode* node = model.Node(nodeId);
    if (node == nullptr || length == 0) return;
    for (const FaultState& state : node->faults) {
        if (state.spec.op != "readBackCorrupt" || !state.spec.address) continue;
        const uint32_t at = *state.spec.address;
        if (at < address || at - address >= length) continue;
        if (model.FireFault(nodeId, "readBackCorrupt", at)) data[at - address] ^= 0xFF;
        return;
    }
    bool anyWithoutAddress = false;
    for (const FaultState& state : node->faults) {
        anyWithoutAddress |= state.spec.op == "readBackCorrupt" && !state.spec.address;
    }
    if (anyWithoutAddress && model.FireFault(nodeId, "readBackCorrupt")) data[0] ^= 0xFF;
}

using ChipRequest =
    std::function<void(CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out)>;

// Runs one request on the chip of the session's hub. faultOp names the
// operation for "detach ... during" faults.
DWORD OnChip(void* session, const char* faultOp, const ChipRequest& request) {
    const auto target = Sim().Handles().Target(static_cast<HANDLE>(session));
    if (!target) return ERROR_INVALID_HANDLE;
    Outcome out;
    Sim().WithModel([&](CSimModel& model) {
        SimNode* hub = model.Node(*target);
        if (hub == nullptr) {
            out.error = ERROR_DEVICE_NOT_CONNECTED;  // the hub has left the bus
            return;
        }
        out.hubId = hub->id;
        if (!hub->spec || hub->spec->family != HubFamily::kFirst) {
            out.error = ERROR_GEN_FAILURE;  // another chip stalls the vendor request
            return;
        }
        for (const FaultState& state : hub->faults) {
            if (state.spec.op == "detach" && state.spec.during == faultOp &&
                model.FireFault(hub->id, "detach")) {
                out.detachPosition = PositionOf(model, *hub);
                out.error = ERROR_DEVICE_NOT_CONNECTED;
                return;
            }
        }
        ChipMemory& memory = model.Memory(*hub);
        if (!memory.initialised) {
            first::InitialiseMemory(memory, hub->spec->chip);
            out.changed = true;
        }
        CFirstChip chip(memory);
        request(model, *hub, chip, out);
    });
    if (out.changed) Sim().MemoryChanged();
    if (!out.detachPosition.empty()) Sim().Detach(out.detachPosition);
    if (out.reboot) {
        double awayMs =
            Sim().WithModel([](CSimModel& model) { return first::RebootMs(model.Latency()); });
        Sim().LeaveAndReturn(out.hubId, awayMs, [](DeviceSpec& spec) {
            if (spec.chip.first) spec.chip.first->bootState = "dfu";
        });
    }
    SpendChipTime(out.latencyMs);
    return out.error;
}

// Fires the operation's own fault; true when it did (out.error is set). A
// fault without an address fires for every address.
bool Faulted(CSimModel& model, const SimNode& hub, const char* op, Outcome& out,
             std::optional<uint32_t> address = std::nullopt) {
    if (auto fault = model.FireFault(hub.id, op, address)) {
        out.error = FaultError(*fault);
        return true;
    }
    return false;
}

double RequestMs(CSimModel& model, uint32_t bytes) {
    return first::OperationMs(model.Latency(), ChipOperation::kRequest, bytes);
}

}  // namespace

}  // namespace usbsim

using namespace usbsim;

extern "C" {

int __cdecl UsbSimFirstOpen(const wchar_t* interfacePath, void** session) {
    if (session != nullptr) *session = nullptr;
    if (interfacePath == nullptr || session == nullptr) return ERROR_INVALID_PARAMETER;
    Sim().Api();  // a process that has not used the seam yet loads ZRV_USBSIM now
    const std::wstring path = interfacePath;
    if (path.size() < 5 || path[0] != L'\\' || path[1] != L'\\' || path[3] != L'\\') {
        return ERROR_FILE_NOT_FOUND;
    }
    DWORD error = ERROR_SUCCESS;
    double latencyMs = 0;
    const uint32_t target = Sim().WithModel([&](CSimModel& model) -> uint32_t {
        const SimNode* hub = model.FindHub(path.substr(4));
        if (hub == nullptr || hub->kind != NodeKind::kHub) {
            error = ERROR_FILE_NOT_FOUND;
            return 0;
        }
        latencyMs = RequestMs(model, 0);
        if (auto fault = model.FireFault(hub->id, "vendorOpen")) {
            error = FaultError(*fault);
            return 0;
        }
        return hub->id;
    });
    SpendChipTime(latencyMs);
    if (target == 0) return static_cast<int>(error);
    HANDLE handle = Sim().Handles().Open(target);
    if (handle == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    *session = handle;
    return ERROR_SUCCESS;
}

int __cdecl UsbSimFirstClose(void* session) {
    return Sim().Handles().Close(static_cast<HANDLE>(session)) ? ERROR_SUCCESS
                                                               : ERROR_INVALID_HANDLE;
}

int __cdecl UsbSimFirstReadOtp(void* session, unsigned offset, unsigned char* buffer,
                               unsigned length, unsigned* read) {
    if (read != nullptr) *read = 0;
    if (buffer == nullptr || read == nullptr) return ERROR_INVALID_PARAMETER;
    return static_cast<int>(
        OnChip(session, "otpRead",
               [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
                   out.latencyMs = RequestMs(model, length);
                   auto fault = model.FireFault(hub.id, "otpRead");
                   if (fault && !fault->shortBytes) {
                       out.error = FaultError(*fault);
                       return;
                   }
                   uint32_t count = chip.ReadOtp(offset, buffer, length);
                   if (fault) count = std::min<uint32_t>(count, *fault->shortBytes);
                   CorruptReadBack(model, hub.id, offset, buffer, count);
                   *read = count;
               }));
}

int __cdecl UsbSimFirstProgramOtp(void* session, unsigned areaOffset, const unsigned char* data,
                                  unsigned length) {
    if (data == nullptr) return ERROR_INVALID_PARAMETER;
    return static_cast<int>(OnChip(
        session, "otpProgram",
        [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
            out.latencyMs = first::OperationMs(model.Latency(), ChipOperation::kOtpProgram, length);
            if (Faulted(model, hub, "otpProgram", out)) return;
            out.error = ErrorOf(chip.ProgramOtp(areaOffset, data, length));
            out.changed = true;  // the room check sets a register even when it refuses
        }));
}

int __cdecl UsbSimFirstReadRam(void* session, unsigned offset, unsigned char* buffer,
                               unsigned length) {
    if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
    return static_cast<int>(
        OnChip(session, "ramRead",
               [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
                   out.latencyMs = RequestMs(model, length);
                   if (Faulted(model, hub, "ramRead", out)) return;
                   out.error = ErrorOf(chip.ReadRam(offset, buffer, length));
                   if (out.error == ERROR_SUCCESS)
                       CorruptReadBack(model, hub.id, offset, buffer, length);
               }));
}

int __cdecl UsbSimFirstWriteRam(void* session, unsigned offset, const unsigned char* data,
                                unsigned length) {
    if (data == nullptr) return ERROR_INVALID_PARAMETER;
    return static_cast<int>(
        OnChip(session, "ramWrite",
               [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
                   out.latencyMs = RequestMs(model, length);
                   if (Faulted(model, hub, "ramWrite", out)) return;
                   out.error = ErrorOf(chip.WriteRam(offset, data, length));
                   out.changed = out.error == ERROR_SUCCESS;
               }));
}

int __cdecl UsbSimFirstApplyRam(void* session) {
    return static_cast<int>(OnChip(
        session, "ramApply", [&](CSimModel& model, const SimNode&, CFirstChip& chip, Outcome& out) {
            out.latencyMs = RequestMs(model, 0);
            chip.ApplyRam();
            out.changed = true;
        }));
}

int __cdecl UsbSimFirstAccessRegister(void* session, unsigned address, int read,
                                      unsigned char* buffer, unsigned length) {
    if (buffer == nullptr || length == 0) return ERROR_INVALID_PARAMETER;
    const char* op = read ? "registerRead" : "registerWrite";
    return static_cast<int>(OnChip(
        session, op, [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
            out.latencyMs = RequestMs(model, length);
            if (Faulted(model, hub, op, out, address)) return;
            if (read) {
                chip.ReadRegisters(address, buffer, length);
            } else {
                chip.WriteRegisters(address, buffer, length);
                out.changed = true;
            }
        }));
}

int __cdecl UsbSimFirstReadControl(void* session, unsigned code, unsigned char* buffer,
                                   unsigned length) {
    if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
    return static_cast<int>(
        OnChip(session, "readControl",
               [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
                   out.latencyMs = RequestMs(model, length);
                   if (Faulted(model, hub, "readControl", out)) return;
                   out.error = ErrorOf(chip.ReadControl(code, buffer, length));
               }));
}

int __cdecl UsbSimFirstRebootToDfu(void* session) {
    return static_cast<int>(
        OnChip(session, "rebootToDfu",
               [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
                   out.latencyMs = RequestMs(model, 0);
                   if (Faulted(model, hub, "rebootToDfu", out)) return;
                   chip.EnterDfu();
                   out.changed = true;
                   out.reboot = true;
               }));
}

int __cdecl UsbSimFirstWriteStatus(void* session, unsigned char value) {
    return static_cast<int>(
        OnChip(session, "writeStatus",
               [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
                   out.latencyMs = RequestMs(model, 1);
                   if (Faulted(model, hub, "writeStatus", out)) return;
                   out.error = ErrorOf(chip.WriteFlashStatus(value));
                   out.changed = out.error == ERROR_SUCCESS;
               }));
}

int __cdecl UsbSimFirstChipErase(void* session) {
    return static_cast<int>(OnChip(
        session, "chipErase",
        [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
            out.latencyMs = first::OperationMs(model.Latency(), ChipOperation::kChipErase, 0);
            if (Faulted(model, hub, "chipErase", out)) return;
            out.error = ErrorOf(chip.ChipErase());
            out.changed = out.error == ERROR_SUCCESS;
        }));
}

int __cdecl UsbSimFirstSectorErase(void* session, unsigned address) {
    return static_cast<int>(OnChip(
        session, "flashErase",
        [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
            out.latencyMs = first::OperationMs(model.Latency(), ChipOperation::kSectorErase, 0);
            if (Faulted(model, hub, "flashErase", out, address)) return;
            out.error = ErrorOf(chip.SectorErase(address));
            out.changed = out.error == ERROR_SUCCESS;
        }));
}

int __cdecl UsbSimFirstPageProgram(void* session, unsigned address, const unsigned char* data,
                                   unsigned length) {
    if (data == nullptr) return ERROR_INVALID_PARAMETER;
    return static_cast<int>(
        OnChip(session, "flashProgram",
               [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
                   out.latencyMs =
                       first::OperationMs(model.Latency(), ChipOperation::kPageProgram, length);
                   if (Faulted(model, hub, "flashProgram", out, address)) return;
                   out.error = ErrorOf(chip.PageProgram(address, data, length));
                   out.changed = out.error == ERROR_SUCCESS;
               }));
}

int __cdecl UsbSimFirstReadFlash(void* session, unsigned address, unsigned char* buffer,
                                 unsigned length) {
    if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
    return static_cast<int>(
        OnChip(session, "flashRead",
               [&](CSimModel& model, const SimNode& hub, CFirstChip& chip, Outcome& out) {
                   out.latencyMs = RequestMs(model, length);
                   if (Faulted(model, hub, "flashRead", out)) return;
                   out.error = ErrorOf(chip.ReadFlash(address, buffer, length));
                   if (out.error == ERROR_SUCCESS)
                       CorruptReadBack(model, hub.id, address, buffer, length);
               }));
}

}  // extern "C"
