// CTCFData: the in-memory list of node entries and its accessors.
#include "TcfData.h"

#include "Logger.h"

const wchar_t kTcfVersion[] = L"2.1";

bool IsCompatibleTcfVersion(const std::wstring& version) {
    return version == kTcfVersion;
}

namespace {

const TcfItem& DefaultItem() {
    static const TcfItem defaults;
    return defaults;
}

}  // namespace

CTCFData::~CTCFData() {
    ClearTopology();
}

const TcfItem* CTCFData::Find(int index, CLogger& log) const {
    if (index < 0 || index >= Count()) {
        log.Write(1, L"No topology entry at index %d (%d entries)", index, Count());
        return nullptr;
    }
    return &items_[static_cast<size_t>(index)];
}

template <typename T>
T CTCFData::Read(const wchar_t* scope, int index, T TcfItem::*field) const {
    CLogger log(scope);
    const TcfItem* item = Find(index, log);
    return item != nullptr ? item->*field : DefaultItem().*field;
}

template <typename T>
void CTCFData::Store(const wchar_t* scope, int index, T TcfItem::*field, const T& value) {
    CLogger log(scope);
    if (Find(index, log) != nullptr) items_[static_cast<size_t>(index)].*field = value;
}

int CTCFData::SetTcfItem(const std::wstring& key, const std::wstring& /*unused*/,
                         const std::wstring& label) {
    CLogger log(L"CTCFData::SetTcfItem");
    TcfItem item;
    item.key = key;
    item.label = label;
    items_.push_back(std::move(item));
    return Count() - 1;
}

int CTCFData::GetTcfItem(const std::wstring& key) const {
    CLogger log(L"CTCFData::GetTcfItem");
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].key == key) return static_cast<int>(i);
    }
    return -1;
}

void CTCFData::ClearTopology() {
    CLogger log(L"CTCFData::ClearTopology");
    items_.clear();
}

const TcfItem* CTCFData::Item(int index) const {
    CLogger log(L"CTCFData::Item");
    return Find(index, log);
}

bool CTCFData::IsItemHub(int index) const {
    return Read(L"CTCFData::IsItemHub", index, &TcfItem::isHub);
}
void CTCFData::SetAsHubItem(int index, bool isHub) {
    Store(L"CTCFData::SetAsHubItem", index, &TcfItem::isHub, isHub);
}
void CTCFData::SetSaveStatus(int index) {
    Store(L"CTCFData::SetSaveStatus", index, &TcfItem::saveStatus, true);
}
int CTCFData::GetPartType(int index) const {
    return Read(L"CTCFData::GetPartType", index, &TcfItem::partType);
}
void CTCFData::SetPartType(int index, int partType) {
    Store(L"CTCFData::SetPartType", index, &TcfItem::partType, partType);
}
int CTCFData::GetMemoryType(int index) const {
    return Read(L"CTCFData::GetMemoryType", index, &TcfItem::memoryType);
}
void CTCFData::SetMemoryType(int index, int memoryType) {
    Store(L"CTCFData::SetMemoryType", index, &TcfItem::memoryType, memoryType);
}
std::wstring CTCFData::GetUILabel(int index) const {
    return Read(L"CTCFData::GetUILabel", index, &TcfItem::label);
}
void CTCFData::SetUILabel(int index, const std::wstring& label) {
    Store(L"CTCFData::SetUILabel", index, &TcfItem::label, label);
}
std::wstring CTCFData::GetConfigFile(int index) const {
    return Read(L"CTCFData::GetConfigFile", index, &TcfItem::configFile);
}
std::wstring CTCFData::GetConfigFilePath(int index) const {
    const std::wstring text = GetConfigFile(index);
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return L"";
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}
void CTCFData::SetConfigFile(int index, const std::wstring& path) {
    Store(L"CTCFData::SetConfigFile", index, &TcfItem::configFile, path);
}
bool CTCFData::GetVerifyOption(int index) const {
    return Read(L"CTCFData::GetVerifyOption", index, &TcfItem::verify);
}
void CTCFData::SetVerifyOption(int index, bool verify) {
    Store(L"CTCFData::SetVerifyOption", index, &TcfItem::verify, verify);
}
bool CTCFData::GetProgramRequiredOption(int index) const {
    return Read(L"CTCFData::GetProgramRequiredOption", index, &TcfItem::doProgram);
}
void CTCFData::SetProgramRequiredOption(int index, bool doProgram) {
    Store(L"CTCFData::SetProgramRequiredOption", index, &TcfItem::doProgram, doProgram);
}
int CTCFData::GetSerialType(int index) const {
    return Read(L"CTCFData::GetSerialType", index, &TcfItem::serialType);
}
void CTCFData::SetSerialType(int index, int serialType) {
    Store(L"CTCFData::SetSerialType", index, &TcfItem::serialType, serialType);
}
bool CTCFData::IsSerialConfirmed(int index) const {
    return Read(L"CTCFData::IsSerialConfirmed", index, &TcfItem::serialConfirmed);
}
void CTCFData::SetSerialConfirmed(int index, bool confirmed) {
    Store(L"CTCFData::SetSerialConfirmed", index, &TcfItem::serialConfirmed, confirmed);
}
bool CTCFData::IsConfigComplete(int index) const {
    return Read(L"CTCFData::IsConfigComplete", index, &TcfItem::configComplete);
}
void CTCFData::SetConfigComplete(int index, bool complete) {
    Store(L"CTCFData::SetConfigComplete", index, &TcfItem::configComplete, complete);
}

std::wstring CTCFData::GetSerialParamAlphaVal(int index) const {
    return Read(L"CTCFData::GetSerialParamAlphaVal", index, &TcfItem::serialAlpha);
}
std::wstring CTCFData::GetSerialParamStartVal(int index) const {
    return Read(L"CTCFData::GetSerialParamStartVal", index, &TcfItem::serialStart);
}
std::wstring CTCFData::GetSerialParamMaxVal(int index) const {
    return Read(L"CTCFData::GetSerialParamMaxVal", index, &TcfItem::serialMax);
}
std::wstring CTCFData::GetSerialParamCurrentVal(int index) const {
    return Read(L"CTCFData::GetSerialParamCurrentVal", index, &TcfItem::serialCurrent);
}
int CTCFData::GetSerialParamIncrementVal(int index) const {
    return Read(L"CTCFData::GetSerialParamIncrementVal", index, &TcfItem::serialIncrement);
}
bool CTCFData::GetSerialParamHexFormat(int index) const {
    return Read(L"CTCFData::GetSerialParamHexFormat", index, &TcfItem::serialHexFormat);
}
void CTCFData::SetSerialParamCurrentVal(int index, const std::wstring& current) {
    Store(L"CTCFData::SetSerialParamCurrentVal", index, &TcfItem::serialCurrent, current);
}

void CTCFData::SetSerialParams(int index, const std::wstring& prefix, const std::wstring& start,
                               const std::wstring& maximum, int increment,
                               const std::wstring& current, bool hexFormat) {
    CLogger log(L"CTCFData::SetSerialParams");
    if (Find(index, log) == nullptr) return;
    TcfItem& item = items_[static_cast<size_t>(index)];
    item.serialAlpha = prefix;
    item.serialStart = start;
    item.serialMax = maximum;
    item.serialIncrement = increment;
    item.serialCurrent = current;
    item.serialHexFormat = hexFormat;
}

int CTCFData::GetSerialParams(int index, std::wstring& prefix, std::wstring& start,
                              std::wstring& maximum, std::wstring& current) const {
    CLogger log(L"CTCFData::GetSerialParams");
    const TcfItem& item =
        Find(index, log) != nullptr ? items_[static_cast<size_t>(index)] : DefaultItem();
    prefix = item.serialAlpha;
    start = item.serialStart;
    maximum = item.serialMax;
    current = item.serialCurrent;
    return item.serialIncrement;
}
