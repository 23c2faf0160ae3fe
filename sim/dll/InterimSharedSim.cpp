// Interim stand-ins for the shared chip-memory infrastructure (replaced by the
// shared implementation on merge).
#include <windows.h>

#include <thread>

#include "../UsbSimApi.h"
#include "Simulator.h"
#include "Text.h"

namespace usbsim {

ChipMemory& CSimModel::Memory(const SimNode& hub) {
    return memories_[UpperAscii(hub.instanceId)];
}

void CSimulator::MemoryChanged() {}

namespace {
std::wstring PositionOfNode(CSimModel& model, const SimNode& node) {
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
}  // namespace

void CSimulator::LeaveAndReturn(uint32_t hubNodeId, double awayMs,
                                std::function<void(DeviceSpec&)> change) {
    std::wstring position;
    DeviceSpec spec;
    bool found = WithModel([&](CSimModel& model) {
        SimNode* node = model.Node(hubNodeId);
        if (node == nullptr || !node->spec) return false;
        position = PositionOfNode(model, *node);
        spec = *node->spec;
        return true;
    });
    if (!found) return;
    if (change) change(spec);
    ++pendingReturns_;
    std::thread([this, position, spec, awayMs] {
        Detach(position);
        ::Sleep(static_cast<DWORD>(awayMs / TimeScale()));
        std::vector<InterfaceEvent> arrived;
        std::string error;
        WithModel([&](CSimModel& model) { model.Attach(position, spec, arrived, error); });
        notifications_.Deliver(arrived, true);
        --pendingReturns_;
    }).detach();
}

int CSimulator::WaitIdle(unsigned timeoutMs) {
    DWORD start = GetTickCount();
    while (pendingReturns_.load() > 0) {
        if (GetTickCount() - start > timeoutMs) return USBSIM_ERROR_ARGUMENT;
        ::Sleep(1);
    }
    return USBSIM_OK;
}

}  // namespace usbsim

using usbsim::CSimulator;

extern "C" int __cdecl UsbSimWaitIdle(unsigned timeoutMs) {
    return CSimulator::Instance().WaitIdle(timeoutMs);
}

extern "C" int __cdecl UsbSimReadChipMemory(const wchar_t* instanceId, const char* area,
                                            unsigned char* buffer, int size) {
    if (instanceId == nullptr || area == nullptr) return USBSIM_ERROR_ARGUMENT;
    return CSimulator::Instance().WithModel([&](usbsim::CSimModel& model) -> int {
        const usbsim::SimNode* node = model.FindInstance(instanceId);
        if (node == nullptr) return USBSIM_ERROR_POSITION;
        usbsim::ChipMemory& memory = model.Memory(*node);
        auto it = memory.areas.find(area);
        if (it == memory.areas.end()) return USBSIM_ERROR_ARGUMENT;
        int length = static_cast<int>(it->second.size());
        if (buffer != nullptr && size > 0) {
            memcpy(buffer, it->second.data(), static_cast<size_t>(std::min(size, length)));
        }
        return length;
    });
}
