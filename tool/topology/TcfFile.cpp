// CTCFData's topology configuration file: an INI profile file with a "Header" section ("Count",
// "Version") and one section per node, named by its topology position.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "Logger.h"
#include "ProfileFileWriter.h"
#include "TcfData.h"

namespace {

const wchar_t kHeader[] = L"Header";
const wchar_t kCount[] = L"Count";
const wchar_t kVersion[] = L"Version";
const wchar_t kNoVersion[] = L"0.0.0";

// Values and section names are read into buffers of this many characters (259 kept).
constexpr DWORD kStringLength = 260;
constexpr DWORD kVersionLength = 20;
// The section name list starts at this many characters per counted node and grows by as many.
constexpr size_t kNamesPerNode = 64;
// A damaged "Count" must not size a huge first buffer; the growth still reads every name.
constexpr size_t kMaxNodesForFirstBuffer = 4096;

std::wstring ReadString(const std::wstring& path, const std::wstring& section, const wchar_t* key,
                        const wchar_t* fallback, DWORD length = kStringLength) {
    std::vector<wchar_t> buffer(length, L'\0');
    DWORD got = GetPrivateProfileStringW(section.c_str(), key, fallback, buffer.data(), length,
                                         path.c_str());
    return std::wstring(buffer.data(), std::min(got, length - 1));
}

int ReadInt(const std::wstring& path, const std::wstring& section, const wchar_t* key,
            int fallback) {
    return static_cast<int>(GetPrivateProfileIntW(section.c_str(), key, fallback, path.c_str()));
}

bool ReadFlag(const std::wstring& path, const std::wstring& section, const wchar_t* key) {
    return ReadInt(path, section, key, 0) != 0;
}

// The section names in file order; the buffer grows until the list fits with room to spare.
std::vector<std::wstring> ReadSectionNames(const std::wstring& path, int count) {
    size_t size = kNamesPerNode * std::min(static_cast<size_t>(count), kMaxNodesForFirstBuffer);
    std::vector<wchar_t> buffer;
    for (;;) {
        buffer.assign(size, L'\0');
        const DWORD got =
            GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(size), path.c_str());
        if (size - std::min<size_t>(got, size) >= 3) break;
        size += kNamesPerNode;
    }
    std::vector<std::wstring> names;
    for (const wchar_t* name = buffer.data(); *name != L'\0'; name += wcslen(name) + 1) {
        names.emplace_back(name);
    }
    return names;
}

std::wstring Flag(bool value) {
    return value ? L"1" : L"0";
}

// A file in the ANSI code page would turn a label or path outside it into question marks;
// such a topology is kept in UTF-16 instead, any other stays as plain text.
bool NeedsUnicode(const std::vector<TcfItem>& items, const std::wstring& version) {
    if (NeedsUnicodeProfile(version)) return true;
    for (const TcfItem& item : items) {
        if (!item.saveStatus) continue;
        for (const std::wstring* text :
             {&item.key, &item.label, &item.configFile, &item.serialAlpha, &item.serialStart,
              &item.serialMax, &item.serialCurrent}) {
            if (NeedsUnicodeProfile(*text)) return true;
        }
    }
    return false;
}

}  // namespace

std::wstring CTCFData::GetTcfVersion(const std::wstring& path) {
    const std::wstring full = FullProfilePath(path);
    if (full.empty()) return kNoVersion;
    return ReadString(full, kHeader, kVersion, kNoVersion, kVersionLength);
}

bool CTCFData::LoadTopology(const std::wstring& path) {
    CLogger log(L"CTCFData::LoadTopology");
    const std::wstring full = FullProfilePath(path);
    if (full.empty()) {
        log.Write(1, L"No topology file given");
        return false;
    }
    const int count = ReadInt(full, kHeader, kCount, 0);
    if (count < 1) {
        log.Write(1, L"No node count in %s", full.c_str());
        return false;
    }
    const int before = Count();
    for (const std::wstring& name : ReadSectionNames(full, count)) {
        // Header is written first by SaveTopology; skipping it by name rather than by position
        // keeps a node that an edited file lists before it.
        if (_wcsicmp(name.c_str(), kHeader) == 0) continue;
        TcfItem item;
        item.key = name;
        item.label = ReadString(full, name, L"UINAME", L"");
        item.isHub = ReadFlag(full, name, L"ISHUB");
        if (item.isHub) {
            item.partType = ReadInt(full, name, L"PTYPE", kPartFamilyUnknown);
            item.memoryType = ReadInt(full, name, L"MEMTYPE", kMemoryTypeUnknown);
            item.configFile = ReadString(full, name, L"BCFGFILE", L"");
            item.verify = ReadFlag(full, name, L"VERIFY");
            item.doProgram = ReadFlag(full, name, L"DOPROGRAM");
            item.serialType = ReadInt(full, name, L"SERTYPE", kSerialTypeNone);
            if (IsCounterSerialType(item.serialType)) {
                item.serialAlpha = ReadString(full, name, L"SERALPHA", L"");
                item.serialStart = ReadString(full, name, L"SERSTART", L"");
                item.serialMax = ReadString(full, name, L"SERMAX", L"");
                item.serialIncrement = ReadInt(full, name, L"SERINC", 1);
                item.serialCurrent = ReadString(full, name, L"SERCURRENT", L"");
                item.serialHexFormat = ReadFlag(full, name, L"SERHEXFMT");
                item.serialConfirmed = true;
            }
        }
        items_.push_back(std::move(item));
    }
    log.Write(2, L"Loaded %d nodes from %s", Count() - before, full.c_str());
    return true;
}

bool CTCFData::SaveTopology(const std::wstring& path, const std::wstring& version,
                            unsigned long* systemError) {
    CLogger log(L"CTCFData::SaveTopology");
    const std::wstring full = FullProfilePath(path);
    CProfileFileWriter file(full);
    const std::wstring count = std::to_wstring(Count());
    file.Begin(NeedsUnicode(items_, version) ? ProfileStart::kEmptyUnicode : ProfileStart::kEmpty);
    file.Write(kHeader, kCount, count);
    file.Write(kHeader, kVersion, version);
    for (const TcfItem& item : items_) {
        if (!item.saveStatus) continue;
        file.Write(item.key, L"UINAME", item.label);
        file.Write(item.key, L"ISHUB", Flag(item.isHub));
        if (!item.isHub) continue;
        file.Write(item.key, L"PTYPE", std::to_wstring(item.partType));
        file.Write(item.key, L"MEMTYPE", std::to_wstring(item.memoryType));
        file.Write(item.key, L"VERIFY", Flag(item.verify));
        file.Write(item.key, L"DOPROGRAM", Flag(item.doProgram));
        file.Write(item.key, L"BCFGFILE", item.configFile);
        file.Write(item.key, L"SERTYPE", std::to_wstring(item.serialType));
        if (!IsCounterSerialType(item.serialType)) continue;
        file.Write(item.key, L"SERALPHA", item.serialAlpha);
        file.Write(item.key, L"SERSTART", item.serialStart);
        file.Write(item.key, L"SERMAX", item.serialMax);
        file.Write(item.key, L"SERINC", std::to_wstring(item.serialIncrement));
        file.Write(item.key, L"SERCURRENT", item.serialCurrent);
        file.Write(item.key, L"SERHEXFMT", Flag(item.serialHexFormat));
    }
    file.Write(kHeader, kCount, count);
    if (!file.Commit()) {
        log.Write(1, L"Topology not saved to %s: %s", path.c_str(), file.Error().c_str());
        if (systemError) *systemError = file.ErrorCode();
        return false;
    }
    return true;
}

bool CTCFData::SaveSerialCurrent(const std::wstring& path, unsigned long* systemError) const {
    const std::wstring full = FullProfilePath(path);
    CProfileFileWriter file(full);
    file.Begin(ProfileStart::kCopyOfTarget);
    for (const TcfItem& item : items_) {
        if (item.isHub && IsCounterSerialType(item.serialType)) {
            file.Write(item.key, L"SERCURRENT", item.serialCurrent);
        }
    }
    if (!file.Commit()) {
        CLogger log(L"CTCFData::SaveSerialCurrent");
        log.Write(1, L"Serial counters not saved to %s: %s", path.c_str(), file.Error().c_str());
        if (systemError) *systemError = file.ErrorCode();
        return false;
    }
    return true;
}
