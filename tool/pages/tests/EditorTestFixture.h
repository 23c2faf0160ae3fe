// The configuration editor page in the test sheet, with a template folder of
// its own (the shipped templates and a small test template), a scratch
// registry key naming it, and the message boxes and file dialogs answered here.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ConfigEditor.h"
#include "ConfigEditorIds.h"
#include "ConfigBlock.h"
#include "EditorHost.h"

namespace editortest {

inline const wchar_t kScratchRoot[] = L"Software\\ZrvEditorTests";
inline const wchar_t kScratchKey[] = L"Software\\ZrvEditorTests\\Halvex ZRV";
inline const wchar_t kHint[] =
    L"\"Select SKU\" to view the configurable fields and associated options.";

constexpr int kTestPart = 0;     // KX7102: the test writes its own template under this name
constexpr int kFirstFamily = 9;  // KX6103B, the shipped template

// Six fields: an edit, a hidden field, a radio field with three options, a
// check box, a field of an unknown display type and an edit without help.
inline const char kTestTemplate[] =
    "<?xml version=\"1.0\"?>\r\n<Configuration part=\"KX7102\">"
    "<Vid><display>Yes</display><displaystrings>Vendor ID</displaystrings>"
    "<displaytype>editbox</displaytype><type>hex</type><datasize>2</datasize>"
    "<address>0x3000</address><value>0x2D3A</value><program>Yes</program>"
    "<HELP>Vendor help</HELP></Vid>"
    "<Hidden><display>No</display><displaystrings>Hidden</displaystrings>"
    "<displaytype>editbox</displaytype><type>hex</type><datasize>1</datasize>"
    "<address>0x30F0</address><value>0x01</value><program>No</program></Hidden>"
    "<Switching><display>Yes</display><displaystrings>Port Power Switching</displaystrings>"
    "<displaytype>radiobutton</displaytype><type>option</type><datasize>1</datasize>"
    "<address>0x3008</address><value>Individual</value><program>No</program>"
    "<HELP>Switching help</HELP><options><option code=\"0\">Ganged</option>"
    "<option code=\"1\">Individual</option><option code=\"2\">Always On</option></options>"
    "</Switching>"
    "<Self><display>Yes</display><displaystrings>Self-Powered</displaystrings>"
    "<displaytype>checkbox</displaytype><type>flag</type><datasize>1</datasize>"
    "<address>0x3006</address><value>Enable</value><program>Yes</program>"
    "<HELP>Self help</HELP></Self>"
    "<Slider><display>Yes</display><displaystrings>Slider</displaystrings>"
    "<displaytype>slider</displaytype><type>hex</type><datasize>1</datasize>"
    "<address>0x3010</address><value>0x00</value><program>No</program></Slider>"
    "<Name><display>Yes</display><displaystrings>Name</displaystrings>"
    "<displaytype>editbox</displaytype><type>string</type><datasize>8</datasize>"
    "<address>0x3100</address><value>Hub</value><program>Yes</program></Name>"
    "</Configuration>";

// KX7103: more selected fields than a configuration block holds (255).
constexpr int kTooManyFieldsPart = 1;
inline std::string TooManyFieldsTemplate() {
    std::string text = "<Configuration>";
    for (int i = 0; i < 256; ++i) {
        char field[400];
        snprintf(field, sizeof(field),
                 "<F%d><display>Yes</display><displaystrings>F%d</displaystrings>"
                 "<displaytype>editbox</displaytype><type>hex</type><datasize>1</datasize>"
                 "<address>0x%04X</address><value>0x00</value><program>Yes</program></F%d>",
                 i, i, 0x4000 + i, i);
        text += field;
    }
    return text + "</Configuration>";
}

inline std::vector<uint8_t> ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

inline bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Register addresses of the items of a configuration block file.
inline std::vector<unsigned> ItemAddresses(const std::wstring& path) {
    const std::vector<uint8_t> block = ReadBytes(path);
    const auto items = cfgblock::ReadItems({block.data(), block.size()});
    std::vector<unsigned> addresses;
    if (!items) return addresses;
    for (const auto& item : *items)
        addresses.push_back((item.data.data[0] << 8) | item.data.data[1]);
    return addresses;
}

struct Shown {
    std::wstring text;
    UINT type;
};

class ConfigEditor : public ::testing::Test {
public:
    void SetUp() override {
        wchar_t full[MAX_PATH];
        GetFullPathNameW(L"editor-work", MAX_PATH, full, nullptr);
        folder_ = std::wstring(full) + L"\\";
        EmptyFolder();
        CreateDirectoryW(folder_.c_str(), nullptr);
        const std::string source = ZRV_TEMPLATE_DIR;
        const std::wstring templates = L"Z:" + std::wstring(source.begin(), source.end()) + L"/";
        for (size_t i = 0; i < kEditorPartCount; ++i) {
            const std::wstring name = kEditorParts[i].templateFile;
            CopyFileW((templates + name).c_str(), (folder_ + name).c_str(), FALSE);
        }
        WriteBytes(folder_ + L"KX7102.xml", kTestTemplate);
        WriteBytes(folder_ + L"KX7103.xml", TooManyFieldsTemplate());
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratchRoot);
        SetPath(REG_SZ, folder_);
    }

    void TearDown() override {
        host_.reset();
        page_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratchRoot);
        EmptyFolder();
    }

    void SetPath(DWORD type, const std::wstring& text) {
        const DWORD bytes = static_cast<DWORD>((text.size() + 1) * 2);
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, kScratchKey, L"Path", type,
                                                 text.c_str(), bytes));
    }

    void Open(bool shown = false) {
        host_.reset();  // the old sheet goes before its page
        page_.reset(new CConfigEditor(HKEY_CURRENT_USER, kScratchKey));
        CConfigEditor::Prompts prompts;
        prompts.message = [this](HWND, const std::wstring& text, UINT type) {
            shown_.push_back({text, type});
            return IDOK;
        };
        prompts.chooseFile = [this](HWND, bool save, const EditorPart& part, std::wstring& path) {
            chosen_.push_back({save, &part});
            if (nextFile_.empty()) return false;
            path = nextFile_;
            return true;
        };
        page_->SetPrompts(prompts);
        host_.reset(new CEditorHost(*page_, shown));
        ASSERT_NE(nullptr, host_->Page());
    }

    CEditorHost& Host() { return *host_; }
    CConfigEditor& Page() { return *page_; }
    HWND Label(int field) const { return host_->FieldControl(IDC_EDITOR_FIELD_LABEL_BASE + field); }
    HWND Value(int field, int n = 0) const {
        return host_->FieldControl(IDC_EDITOR_FIELD_VALUE_BASE + field, n);
    }
    void SetValue(int field, const wchar_t* text) const { SetWindowTextW(Value(field), text); }
    void ClickLabel(int field) const { SendMessageW(Label(field), BM_CLICK, 0, 0); }

    void Save(const std::wstring& path) {
        nextFile_ = path;
        Host().Click(IDC_EDITOR_SAVE_FILE);
    }
    void OpenFile(const std::wstring& path) {
        nextFile_ = path;
        Host().Click(IDC_EDITOR_OPEN_FILE);
    }
    std::wstring LastMessage() const { return shown_.empty() ? L"(none)" : shown_.back().text; }

    SCROLLINFO ScrollInfo() const {
        SCROLLINFO info = {sizeof(info), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(host_->Item(IDC_EDITOR_SCROLL), SB_CTL, &info);
        return info;
    }
    void Scroll(int request) const {
        SendMessageW(host_->Page(), WM_VSCROLL, MAKEWPARAM(request, 0),
                     reinterpret_cast<LPARAM>(host_->Item(IDC_EDITOR_SCROLL)));
    }
    bool ButtonsEnabled() const {
        return IsWindowEnabled(host_->Item(IDC_EDITOR_OPEN_FILE)) &&
               IsWindowEnabled(host_->Item(IDC_EDITOR_SAVE_FILE)) &&
               IsWindowEnabled(host_->Item(IDC_EDITOR_RESET_FIELDS));
    }

    std::wstring folder_;
    std::vector<Shown> shown_;
    struct Choice {
        bool save;
        const EditorPart* part;
    };
    std::vector<Choice> chosen_;
    std::wstring nextFile_;

private:
    void EmptyFolder() const {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((folder_ + L"*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW((folder_ + found.cFileName).c_str());
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(folder_.c_str());
    }

    std::unique_ptr<CConfigEditor> page_;
    std::unique_ptr<CEditorHost> host_;
};

}  // namespace editortest
