#include "DeviceData.h"

#include <memory>
#include <vector>

#include "DeviceName.h"
#include "FileBytes.h"
#include "Logger.h"
#include "TopologyConfig.h"

HMODULE CDeviceData::deviceLibrary_ = nullptr;
IDeviceTree* CDeviceData::recordDeviceTree_ = nullptr;
PfnCreateDeviceTreeUI CDeviceData::recordCreateDeviceTreeUI_ = nullptr;
PfnFinishedUsingDeviceTreeUI CDeviceData::recordFinishedUsingDeviceTreeUI_ = nullptr;
int CDeviceData::lastPartFamily_ = kNamedFamilyNone;

void FatalStartupError(const wchar_t* text) {
    CLogger log(L"FatalStartupError");
    log.Write(1, L"%s", text);
    MessageBoxW(nullptr, text, L"VARN Quorvel ZRV Hub Tool", MB_OK | MB_ICONSTOP);
    ExitProcess(3);
}

CDeviceData::CDeviceData(int controller, int device, const std::wstring& topology)
    : topology_(topology), controller_(controller), device_(device) {
    if (deviceLibrary_) {
        recordCreateDeviceTreeUI_ =
            HubExport<PfnCreateDeviceTreeUI>(deviceLibrary_, "CreateDeviceTreeUI");
        if (!recordCreateDeviceTreeUI_) {
            FatalStartupError(L"Cannot get the address of CreateDeviceTreeUI function");
        }
        recordFinishedUsingDeviceTreeUI_ =
            HubExport<PfnFinishedUsingDeviceTreeUI>(deviceLibrary_, "FinishedUsingDeviceTreeUI");
        if (!recordFinishedUsingDeviceTreeUI_) {
            FatalStartupError(L"Cannot get address of FinishedUsingDeviceTreeUI function");
        }
    }
    tcfIndex_ = TopologyConfig().GetTcfItem(topology);
    name_ = GetDeviceName();
    topologyState_ = kTopologyUnconfigured;
}

bool CDeviceData::SetLibraryHandle() {
    CLogger log(L"CDeviceData::SetLibraryHandle");
    if (!deviceLibrary_) deviceLibrary_ = LoadLibraryW(kHubLibraryName);
    return deviceLibrary_ != nullptr;
}

void CDeviceData::FreeLibraryHandle() {
    CLogger log(L"CDeviceData::FreeLibraryHandle");
    deviceLibrary_ = nullptr;
    recordDeviceTree_ = nullptr;
}

int CDeviceData::GetStorageMode() const {
    auto fn = Export<PfnNodeInt>("GetStorageMode");
    return fn ? fn(controller_, device_) : STORAGE_UNKNOWN;
}

int CDeviceData::SetStorageMode(int mode) const {
    CLogger log(L"CDeviceData::SetStorageMode");
    auto fn = Export<PfnNodeSetInt>("SetStorageMode");
    return fn ? fn(controller_, device_, mode) : 2;
}

void CDeviceData::SetValidationMethod(int method) const {
    CLogger log(L"CDeviceData::SetValidationMethod");
    if (auto fn = Export<PfnNodeSetIntBool>("SetValidationMethod"))
        fn(controller_, device_, method);
}

int CDeviceData::SetConfigBlock(CreateParserFn createParser, const std::wstring& serial) const {
    CLogger log(L"CDeviceData::SetConfigBlock");
    if (!deviceLibrary_ || GetDeviceType() != NODE_TYPE_HUB) return RESULT_SUCCESS;
    const std::wstring path = TopologyConfig().GetConfigFilePath(tcfIndex_);
    std::vector<uint8_t> data;
    if (!path.empty()) {
        DWORD error = ERROR_SUCCESS;
        if (!ReadFileBytes(path, data, error)) {
            // Handing nothing over would leave the hub silently unprogrammed.
            log.Write(1, L"%s : cannot read configuration file %s: %s", topology_.c_str(),
                      path.c_str(), SystemErrorText(error).c_str());
            return RESULT_FAILURE;
        }
    }
    if (!serial.empty() && createParser) {
        std::unique_ptr<IParser> parser(
            createParser(data.data(), static_cast<uint32_t>(data.size()), serial.c_str(),
                         static_cast<uint32_t>(serial.size()), 0));
        if (!parser) {
            log.Write(1, L"%s : no parser", topology_.c_str());
            return RESULT_RESOURCE_FAILURE;
        }
        int32_t result =
            parser->SetConfigurationBlock(data.data(), static_cast<uint32_t>(data.size()),
                                          serial.c_str(), static_cast<uint32_t>(serial.size()));
        std::vector<uint8_t> block;
        if (result == 0) {
            block.resize(parser->GetConfigBlockSize());
            result = parser->GetConfigBlock(static_cast<uint32_t>(block.size()), block.data());
            if (result >= 0) {
                block.resize(static_cast<size_t>(result));
                result = 0;
            }
        }
        // Every non-zero parser result is a failure; out of memory is a positive one.
        if (result != 0) {
            log.Write(1, L"%s : parser result %d for %s", topology_.c_str(), result, path.c_str());
            return result;
        }
        data.swap(block);
    }
    auto fn = Export<PfnNodeSetBytes>("SetConfigurationBlock");
    if (!fn) return RESULT_FAILURE;
    return fn(controller_, device_, data.empty() ? nullptr : data.data(),
              static_cast<uint32_t>(data.size()));
}

int CDeviceData::SetSPIFwImage() const {
    CLogger log(L"CDeviceData::SetSPIFwImage");
    if (!deviceLibrary_ || GetDeviceType() != NODE_TYPE_HUB) return RESULT_DEVICE_NOT_FOUND;
    auto fn = Export<PfnNodeSetBytes>("SetFirmwarImage");
    if (!fn) return RESULT_FAILURE;
    const std::wstring path = TopologyConfig().GetConfigFilePath(tcfIndex_);
    if (path.empty()) return fn(controller_, device_, nullptr, 0);
    std::vector<uint8_t> image;
    DWORD error = ERROR_SUCCESS;
    if (!ReadFileBytes(path, image, error)) {
        log.Write(1, L"%s : cannot read image %s: %s", topology_.c_str(), path.c_str(),
                  SystemErrorText(error).c_str());
        return RESULT_FAILURE;
    }
    return fn(controller_, device_, image.empty() ? nullptr : image.data(),
              static_cast<uint32_t>(image.size()));
}

int CDeviceData::GetHubStatus() const {
    auto fn = Export<PfnNodeInt>("GetHubStatus");
    return fn ? fn(controller_, device_) : HUB_STATUS_UNKNOWN;
}

void CDeviceData::SetProgramRequired() const {
    if (auto fn = Export<PfnNodeSetBool>("SetProgrammingRequired")) fn(controller_, device_, false);
}

void CDeviceData::SetProgrammingRequired(bool required) const {
    if (auto fn = Export<PfnNodeSetBool>("SetProgrammingRequired"))
        fn(controller_, device_, required);
    if (deviceLibrary_) TopologyConfig().SetProgramRequiredOption(tcfIndex_, required);
}

std::wstring CDeviceData::GetSerialFromUUID() const {
    CLogger log(L"CDeviceData::GetSerialFromUUID");
    uint8_t uuid[kUuidLength] = {};
    return ReadUUID(uuid) ? SerialFromUuid(uuid) : L"";
}

bool CDeviceData::ReadUUID(uint8_t (&uuid)[16]) const {
    static_assert(kUuidLength == 16, "identifiers are 16 bytes");
    if (!deviceLibrary_ || GetDeviceType() != NODE_TYPE_HUB) return false;
    auto fn = Export<PfnNodeGetBytes>("GetUUID");
    return fn && fn(controller_, device_, uuid, kUuidLength) >= 0;
}

bool CDeviceData::IsSafeToRemove() const {
    auto fn = Export<PfnNodeBool>("CanDeviceBeRemoved");
    return fn ? fn(controller_, device_) : false;
}

bool CDeviceData::IsSPIPseudoOTPEnabled() const {
    auto fn = Export<PfnNodeBool>("IsPseudoOTPSet");
    return fn ? fn(controller_, device_) : false;
}

bool CDeviceData::IsVendorBlockValid() const {
    auto fn = Export<PfnNodeBool>("IsVendorBlockPresent");
    return fn ? fn(controller_, device_) : false;
}

bool CDeviceData::IsNewDevice() const {
    auto fn = Export<PfnNodeBool>("IsNewDevice");
    return fn ? fn(controller_, device_) : false;
}

IDeviceTree* CDeviceData::GetDeviceTree() const {
    if (!deviceLibrary_ || !recordCreateDeviceTreeUI_) return nullptr;
    recordDeviceTree_ = recordCreateDeviceTreeUI_();
    return recordDeviceTree_;
}

IUsbNode* CDeviceData::NodeCopy() const {
    IDeviceTree* tree = GetDeviceTree();
    return tree ? tree->GetNode(controller_, device_) : nullptr;
}

int CDeviceData::GetDeviceType() const {
    std::unique_ptr<IUsbNode> node(NodeCopy());
    return node ? node->GetNodeType() : NODE_TYPE_UNKNOWN;
}

std::wstring CDeviceData::GetDeviceInstanceID() const {
    std::unique_ptr<IUsbNode> node(NodeCopy());
    const wchar_t* id = node ? node->GetDeviceInstanceID() : nullptr;
    return id ? id : L"";
}

std::wstring CDeviceData::GetDevicePath() const {
    std::unique_ptr<IUsbNode> node(NodeCopy());
    if (!node || node->GetNodeType() != NODE_TYPE_HUB) return L"";
    const wchar_t* path = node->GetDevicePath();
    return path ? path : L"";
}

std::wstring CDeviceData::GetDeviceName() const {
    std::unique_ptr<IUsbNode> node(NodeCopy());
    if (!node) return L"";
    if (node->GetNodeType() != NODE_TYPE_HUB) {
        const wchar_t* name = node->GetDisplayName();
        return name ? name : L"";
    }
    const wchar_t* id = node->GetDeviceInstanceID();
    const HubName hub = HubNameFromInstanceId(id ? id : L"");
    lastPartFamily_ = hub.partFamily;
    return hub.name;
}

void CDeviceData::UpdateUILabel() const {
    if (tcfIndex_ >= 0) TopologyConfig().SetUILabel(tcfIndex_, name_);
}

std::wstring CDeviceData::GetConfigFile() const {
    return TopologyConfig().GetConfigFile(tcfIndex_);
}

void CDeviceData::SetConfigFile(const std::wstring& path) const {
    TopologyConfig().SetConfigFile(tcfIndex_, path);
}

void CDeviceData::ValidateAndModifyDeviceData(int type) {
    CLogger log(L"CDeviceData::ValidateAndModifyDeviceData");
    CTCFData& tcf = TopologyConfig();
    if (tcfIndex_ == -1) {
        tcfIndex_ = tcf.SetTcfItem(topology_, L"", L"");
        tcf.SetPartType(tcfIndex_, lastPartFamily_);
    } else if (tcf.IsItemHub(tcfIndex_) == (type == NODE_TYPE_HUB)) {
        topologyState_ = tcf.GetMemoryType(tcfIndex_) == STORAGE_UNKNOWN ? kTopologyNoOperation
                                                                         : kTopologyConfigured;
    }
    const std::wstring label = tcf.GetUILabel(tcfIndex_);
    if (!label.empty()) name_ = label;
    if (type == NODE_TYPE_HUB && IsNewDevice()) {
        SetStorageMode(tcf.GetMemoryType(tcfIndex_));
        SetValidationMethod(tcf.GetVerifyOption(tcfIndex_) ? VALIDATION_VERIFY : VALIDATION_NONE);
        SetProgrammingRequired(tcf.GetProgramRequiredOption(tcfIndex_));
    }
}

void CDeviceData::ValidateAndSetDeviceData(int type) {
    CLogger log(L"CDeviceData::ValidateAndSetDeviceData");
    CTCFData& tcf = TopologyConfig();
    if (tcfIndex_ == -1) {
        tcfIndex_ = tcf.SetTcfItem(topology_, L"", L"");
        tcf.SetPartType(tcfIndex_, lastPartFamily_);
        return;
    }
    if (tcf.IsItemHub(tcfIndex_) == (type == NODE_TYPE_HUB)) {
        topologyState_ = tcf.GetMemoryType(tcfIndex_) == STORAGE_UNKNOWN ? kTopologyNoOperation
                                                                         : kTopologyConfigured;
    }
    const std::wstring label = tcf.GetUILabel(tcfIndex_);
    if (!label.empty()) name_ = label;
    if (type == NODE_TYPE_HUB && tcf.IsItemHub(tcfIndex_) && IsNewDevice()) {
        const int mode = tcf.GetMemoryType(tcfIndex_);
        log.Write(2,
                  L"DEBUG : NEW DEVICE mCtrl = %u, nID = %u, Topology = %s, mIndex = %d, "
                  L"stMode = %d",
                  controller_, device_, topology_.c_str(), tcfIndex_, mode);
        if (SetStorageMode(mode) == 0) {
            SetValidationMethod(tcf.GetVerifyOption(tcfIndex_) ? VALIDATION_VERIFY
                                                               : VALIDATION_NONE);
            SetProgrammingRequired(tcf.GetProgramRequiredOption(tcfIndex_));
        }
    }
}
