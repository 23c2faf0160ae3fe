// CTCFData: the tool's topology configuration, an ordered list of node entries keyed by topology
// position, and its topology configuration file (an INI profile file, version "2.1").
//
// Entries are addressed by their index in the list; -1 means no entry. An index that does not
// name an entry is traced as an error: getters then answer the defaults of a new entry and
// setters change nothing.
#pragma once

#include <string>
#include <vector>

#include "TcfItem.h"

class CLogger;

// The only file version this tool reads and writes.
extern const wchar_t kTcfVersion[];

// Version strings are compared exactly: "2.10" and "2.1 " are other versions.
bool IsCompatibleTcfVersion(const std::wstring& version);

class CTCFData {
public:
    CTCFData() = default;
    virtual ~CTCFData();
    CTCFData(const CTCFData&) = delete;
    CTCFData& operator=(const CTCFData&) = delete;

    // Appends an entry with the defaults, the key and the label; returns its index. The second
    // string is accepted for the callers' sake and not used.
    int SetTcfItem(const std::wstring& key, const std::wstring& unused, const std::wstring& label);
    // Index of the first entry whose key equals key exactly (case-sensitive), or -1.
    int GetTcfItem(const std::wstring& key) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void ClearTopology();

    bool IsItemHub(int index) const;
    void SetAsHubItem(int index, bool isHub);
    void SetSaveStatus(int index);
    int GetPartType(int index) const;
    void SetPartType(int index, int partType);
    int GetMemoryType(int index) const;
    void SetMemoryType(int index, int memoryType);
    std::wstring GetUILabel(int index) const;
    void SetUILabel(int index, const std::wstring& label);
    std::wstring GetConfigFile(int index) const;
    // The configuration file or image as a path to open: blanks around it dropped.
    std::wstring GetConfigFilePath(int index) const;
    void SetConfigFile(int index, const std::wstring& path);
    bool GetVerifyOption(int index) const;
    void SetVerifyOption(int index, bool verify);
    bool GetProgramRequiredOption(int index) const;
    void SetProgramRequiredOption(int index, bool doProgram);
    int GetSerialType(int index) const;
    void SetSerialType(int index, int serialType);
    bool IsSerialConfirmed(int index) const;
    void SetSerialConfirmed(int index, bool confirmed);
    bool IsConfigComplete(int index) const;
    void SetConfigComplete(int index, bool complete);

    std::wstring GetSerialParamAlphaVal(int index) const;
    std::wstring GetSerialParamStartVal(int index) const;
    std::wstring GetSerialParamMaxVal(int index) const;
    std::wstring GetSerialParamCurrentVal(int index) const;
    int GetSerialParamIncrementVal(int index) const;
    bool GetSerialParamHexFormat(int index) const;
    void SetSerialParamCurrentVal(int index, const std::wstring& current);
    // Sets the six serial fields; leaves the confirmed flag alone.
    void SetSerialParams(int index, const std::wstring& prefix, const std::wstring& start,
                         const std::wstring& maximum, int increment, const std::wstring& current,
                         bool hexFormat);
    // Reads prefix, start, maximum and current; returns the increment.
    int GetSerialParams(int index, std::wstring& prefix, std::wstring& start, std::wstring& maximum,
                        std::wstring& current) const;

    // The whole entry, for reading; nullptr for an index that names no entry.
    const TcfItem* Item(int index) const;

    // File operations. Relative paths are taken relative to the working directory.
    //
    // "Version" of section "Header" (at most 19 characters), "0.0.0" when absent.
    static std::wstring GetTcfVersion(const std::wstring& path);
    // Appends the file's nodes in file order; false when the path is empty or the file has no
    // positive "Count". Callers clear the list first.
    bool LoadTopology(const std::wstring& path);
    // Writes the entries whose save status is set into a fresh file that replaces path only once
    // it is complete; on failure the previous file is left as it was and false is returned.
    // Callers must not delete the file beforehand: that would lose it when the save fails.
    // The file is plain ANSI text unless a value lies outside the code page; then it is UTF-16.
    // systemError, when given, receives the system error code of a failure.
    bool SaveTopology(const std::wstring& path, const std::wstring& version,
                      unsigned long* systemError = nullptr);
    // Rewrites "SERCURRENT" of every hub entry that counts serials, leaving the rest of the file
    // as it was; replaces the file only once every write succeeded. False when the file is
    // missing or cannot be written; systemError as for SaveTopology.
    bool SaveSerialCurrent(const std::wstring& path, unsigned long* systemError = nullptr) const;

private:
    const TcfItem* Find(int index, CLogger& log) const;
    template <typename T>
    T Read(const wchar_t* scope, int index, T TcfItem::*field) const;
    template <typename T>
    void Store(const wchar_t* scope, int index, T TcfItem::*field, const T& value);

    std::vector<TcfItem> items_;
};
