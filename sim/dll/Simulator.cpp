// The process's simulator: loading, hot plug and the control pipe.
#include "Simulator.h"

#include <windows.h>

#include <cstdio>

#include "../UsbSimApi.h"
#include "ConsoleText.h"
#include "DeviceTime.h"
#include "FirstChip.h"
#include "FixtureFile.h"
#include "PipeProtocol.h"
#include "SecondChip.h"
#include "StateFileIo.h"
#include "Text.h"

namespace usbsim {

CSimulator& CSimulator::Instance() {
    static CSimulator* simulator = new CSimulator();
    return *simulator;
}

int CSimulator::Fail(int code, const std::string& error) {
    std::lock_guard<std::mutex> guard(errorLock_);
    lastError_ = Widen(error);
    return code;
}

std::wstring CSimulator::LastError() {
    std::lock_guard<std::mutex> guard(errorLock_);
    return lastError_;
}

const HardwareApi* CSimulator::Api() {
    std::call_once(envOnce_, [this] {
        envApi_ = SimHardwareApi();
        bool loaded = WithModel([this](CSimModel&) { return loaded_; });
        // Any length: a path too long to open must fail loudly, not leave an empty PC.
        std::wstring path(GetEnvironmentVariableW(L"ZRV_USBSIM", nullptr, 0), L'\0');
        if (path.empty()) return;
        path.resize(
            GetEnvironmentVariableW(L"ZRV_USBSIM", &path[0], static_cast<DWORD>(path.size())));
        if (loaded || path.empty()) return;
        if (LoadFile(path) != USBSIM_OK) {
            std::wstring text = L"UsbSim: " + LastError() + L"\n";
            OutputDebugStringW(text.c_str());
            WriteText(stderr, text);
            envApi_ = nullptr;
        }
    });
    return envApi_;
}

int CSimulator::Install(const std::string& json, const std::wstring& baseDir,
                        const std::string& source) {
    FixtureSpec fixture;
    std::string error;
    if (!ParseFixtureText(json, baseDir, source, fixture, error) ||
        !ApplyTimeScaleOverride(fixture, error)) {
        return Fail(USBSIM_ERROR_FIXTURE, error);
    }
    CSimModel model;
    if (!model.Load(fixture, error)) return Fail(USBSIM_ERROR_FIXTURE, source + ": " + error);
    if (!LoadState(model, error)) return Fail(USBSIM_ERROR_FIXTURE, error);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    model_ = std::move(model);
    notifications_.DropQueued();  // what is queued describes the old model
    const double notifyMs = fixture.latency.notifyMs / fixture.timeScale;
    notifications_.SetDelay(notifyMs >= 60000.0 ? 60000 : static_cast<DWORD>(notifyMs));
    loaded_ = true;
    json_ = json;
    baseDir_ = baseDir;
    source_ = source;
    timeScale_ = fixture.timeScale;
    ResetDeviceTime();
    return USBSIM_OK;
}

int CSimulator::LoadFile(const std::wstring& path) {
    std::string json, reason;
    std::string source = Narrow(path);
    if (!ReadWholeFile(path, json, reason)) {
        return Fail(USBSIM_ERROR_FIXTURE, source + ": cannot read the fixture: " + reason);
    }
    std::wstring full = FullPath(path);
    int result = Install(json, FolderOf(full), source);
    if (result == USBSIM_OK) {
        WithModel([&](CSimModel&) { fullPath_ = full; });
        StartPipe();
    }
    return result;
}

int CSimulator::LoadJson(const std::string& json, const std::wstring& baseDir) {
    int result = Install(json, baseDir, "<fixture text>");
    if (result == USBSIM_OK) {
        WithModel([&](CSimModel&) { fullPath_.clear(); });
        StartPipe();
    }
    return result;
}

int CSimulator::Reset() {
    std::string json, source;
    std::wstring baseDir;
    bool loaded = WithModel([&](CSimModel&) {
        json = json_, source = source_, baseDir = baseDir_;
        return loaded_;
    });
    if (!loaded) return Fail(USBSIM_ERROR_NO_MODEL, "no fixture was loaded");
    return Install(json, baseDir, source);
}

int CSimulator::AttachFile(const std::wstring& position, const std::wstring& boardPath) {
    std::string json, reason;
    if (!ReadWholeFile(boardPath, json, reason)) {
        return Fail(USBSIM_ERROR_FIXTURE, Narrow(boardPath) + ": cannot read the board: " + reason);
    }
    return AttachJson(position, json, FolderOf(FullPath(boardPath)), Narrow(boardPath));
}

int CSimulator::AttachJson(const std::wstring& position, const std::string& json,
                           const std::wstring& baseDir, const std::string& source) {
    DeviceSpec board;
    std::string error;
    if (!ParseBoardText(json, baseDir, source, board, error)) {
        return Fail(USBSIM_ERROR_FIXTURE, error);
    }
    bool loaded = true;
    auto result = WithModel([&](CSimModel& model) {
        loaded = loaded_;
        std::vector<InterfaceEvent> arrived;
        auto attached = model.Attach(position, board, arrived, error);
        notifications_.Deliver(std::move(arrived), true);
        return attached;
    });
    if (!loaded) return Fail(USBSIM_ERROR_NO_MODEL, "attach: no fixture was loaded");
    if (result == CSimModel::Result::kBadBoard)
        return Fail(USBSIM_ERROR_FIXTURE, source + ": " + error);
    if (result == CSimModel::Result::kBadPosition) {
        return Fail(USBSIM_ERROR_POSITION, "attach " + Narrow(position) + ": " + error);
    }
    return USBSIM_OK;
}

int CSimulator::Detach(const std::wstring& position) {
    std::string error;
    bool loaded = true;
    auto result = WithModel([&](CSimModel& model) {
        loaded = loaded_;
        std::vector<InterfaceEvent> left;
        auto detached = model.Detach(position, left, error);
        notifications_.Deliver(std::move(left), false);
        return detached;
    });
    if (!loaded) return Fail(USBSIM_ERROR_NO_MODEL, "detach: no fixture was loaded");
    if (result != CSimModel::Result::kOk) {
        return Fail(USBSIM_ERROR_POSITION, "detach " + Narrow(position) + ": " + error);
    }
    return USBSIM_OK;
}

bool CSimulator::LoadState(CSimModel& model, std::string& error) {
    std::wstring path = StateFilePathFromEnvironment();
    WithModel([&](CSimModel&) { statePath_ = path; });
    if (path.empty()) return true;
    ChipMemories memories;
    if (!ReadStateFile(path, memories, error)) return false;
    WithModel([&](CSimModel&) { saved_ = memories; });
    model.SetMemories(std::move(memories));
    return true;
}

void CSimulator::MemoryChanged() {
    WithModel([this](CSimModel& model) {
        if (statePath_.empty()) return;
        // Only chips this process changed go to the file, so two processes
        // sharing it do not write back each other's older copies.
        ChipMemories changed;
        for (const auto& [id, memory] : model.Memories()) {
            auto saved = saved_.find(id);
            if (memory.initialised && (saved == saved_.end() || saved->second != memory)) {
                changed[id] = memory;
            }
        }
        if (changed.empty()) return;
        std::string error;
        if (WriteStateFile(statePath_, changed, error)) {
            for (auto& [id, memory] : changed) saved_[id] = std::move(memory);
        } else {
            std::wstring text = L"UsbSim: " + Widen(error) + L"\n";
            OutputDebugStringW(text.c_str());
            WriteText(stderr, text);
        }
    });
}

namespace {

struct LeaveAndReturnJob {
    CSimulator* simulator;
    uint32_t nodeId;
    double awayMs;
    std::function<void(DeviceSpec&)> change;
    CSimulator::Restart restart;
    HMODULE module;
};

DWORD WINAPI LeaveAndReturnThread(LPVOID parameter) {
    std::unique_ptr<LeaveAndReturnJob> job(static_cast<LeaveAndReturnJob*>(parameter));
    job->simulator->RunLeaveAndReturn(job->nodeId, job->awayMs, job->change, job->restart);
    HMODULE module = job->module;
    job.reset();
    if (module != nullptr) FreeLibraryAndExitThread(module, 0);
    return 0;
}

}  // namespace

void CSimulator::LeaveAndReturn(uint32_t nodeId, double awayMs,
                                std::function<void(DeviceSpec&)> change, Restart restart) {
    busy_.Begin();
    auto* job =
        new LeaveAndReturnJob{this, nodeId, awayMs, std::move(change), std::move(restart), nullptr};
    // The thread keeps this module loaded until it ends.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&CSimulator::Instance), &job->module);
    HANDLE thread = CreateThread(nullptr, 0, LeaveAndReturnThread, job, 0, nullptr);
    if (thread != nullptr) {
        CloseHandle(thread);
        return;
    }
    // No thread: do it here rather than lose the reboot.
    std::unique_ptr<LeaveAndReturnJob> owned(job);
    if (owned->module != nullptr) FreeLibrary(owned->module);
    RunLeaveAndReturn(nodeId, awayMs, owned->change, owned->restart);
}

void CSimulator::RunLeaveAndReturn(uint32_t nodeId, double awayMs,
                                   const std::function<void(DeviceSpec&)>& change,
                                   const Restart& restart) {
    bool restarted = false;
    auto departure = WithModel([&](CSimModel& model) {
        // The chip restarts as it leaves, in the same step, so no request sees
        // its new state while it is still on the bus.
        if (const SimNode* node = model.Node(nodeId); node != nullptr && restart) {
            restart(model, *node);
            restarted = true;
        }
        std::vector<InterfaceEvent> left;
        auto leaving = model.Leave(nodeId, left);
        notifications_.Deliver(std::move(left), false);
        return leaving;
    });
    if (restarted) MemoryChanged();
    if (departure) {
        double scaled = awayMs / TimeScale();
        ::Sleep(scaled >= 60000.0 ? 60000 : static_cast<DWORD>(scaled));
        WithModel([&](CSimModel& model) {
            if (change) change(*departure->spec);
            std::vector<InterfaceEvent> arrived;
            model.Return(*departure, arrived);
            notifications_.Deliver(std::move(arrived), true);
        });
    }
    busy_.End();
}

void CSimulator::BeginBackgroundChange() {
    busy_.Begin();
}

void CSimulator::EndBackgroundChange() {
    busy_.End();
}

bool CSimulator::WaitIdle(uint32_t timeoutMs) {
    return busy_.WaitIdle(timeoutMs);
}

namespace {

// A chip's memory is filled from the fixture by the first request that reaches
// it. What a chip that no request reached yet holds: its fixture content in
// `memory`; false for a node without a chip.
bool FixtureContent(const SimNode& node, ChipMemory& memory) {
    if (node.kind != NodeKind::kHub || node.superSpeedHalf || !node.spec) return false;
    const DeviceSpec& spec = *node.spec;
    if (spec.family == HubFamily::kFirst) {
        first::InitialiseMemory(memory, spec.chip);
    } else if (spec.family == HubFamily::kSecond && spec.chip.second) {
        CSecondChip fill(memory, spec);
    }
    return memory.initialised;
}

}  // namespace

bool CSimulator::ReadChipMemory(const std::wstring& instanceId, const std::string& area,
                                std::vector<uint8_t>& bytes) {
    return WithModel([&](CSimModel& model) {
        // Read from a copy, so a read neither fills the chip nor reaches the state file.
        ChipMemory fromFixture;
        const ChipMemory* memory = nullptr;
        auto chip = model.Memories().find(UpperAscii(instanceId));
        const SimNode* node = model.FindInstance(instanceId);
        if (chip != model.Memories().end() && chip->second.initialised) {
            memory = &chip->second;
        } else if (node != nullptr && FixtureContent(*node, fromFixture)) {
            memory = &fromFixture;
        } else if (chip != model.Memories().end()) {
            memory = &chip->second;
        } else {
            return false;
        }
        auto found = memory->areas.find(area);
        if (found == memory->areas.end()) return false;
        bytes = found->second;
        return true;
    });
}

void CSimulator::StartPipe() {
    std::wstring name;
    wchar_t setting[256];
    DWORD length = GetEnvironmentVariableW(L"ZRV_USBSIM_PIPE", setting, 256);
    if (length > 0 && length < 256) {
        name = PipeNameFromSetting(setting);
    } else {
        std::wstring full = WithModel([this](CSimModel&) { return fullPath_; });
        name = full.empty()
                   ? PipeNameFromSetting(L"zrv-usbsim-pid" + std::to_wstring(GetCurrentProcessId()))
                   : PipeNameForFixture(full);
    }
    std::lock_guard<std::mutex> guard(pipeLock_);
    if (pipe_.Name() == name) return;
    std::string reason;
    if (!pipe_.Start(
            name, [this](const std::string& r) { return HandlePipeRequest(r); }, reason)) {
        // Another process of the same fixture serves it; this one runs without.
        std::wstring text = L"UsbSim: no control pipe " + name + L": " + Widen(reason) + L"\n";
        OutputDebugStringW(text.c_str());
    }
}

std::wstring CSimulator::PipeName() {
    std::lock_guard<std::mutex> guard(pipeLock_);
    return pipe_.Name();
}

void CSimulator::Shutdown() {
    std::lock_guard<std::mutex> guard(pipeLock_);
    pipe_.Stop();
}

std::string CSimulator::HandlePipeRequest(const std::string& text) {
    auto request = DecodeRequest(text);
    PipeReply reply;
    if (!request) {
        reply.code = USBSIM_ERROR_ARGUMENT;
        reply.message = L"malformed request";
    } else if (request->command == "ping") {
        reply.message = WithModel([this](CSimModel&) { return fullPath_; });
    } else {
        reply.code = request->command == "attach"
                         ? AttachJson(request->position, request->boardJson,
                                      FolderOf(request->boardPath), Narrow(request->boardPath))
                         : Detach(request->position);
        if (reply.code != USBSIM_OK) reply.message = LastError();
    }
    return EncodeReply(reply);
}

}  // namespace usbsim
