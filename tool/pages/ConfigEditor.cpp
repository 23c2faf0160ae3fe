// The configuration editor page: part list, field view, Open File, Save to File.
#include "ConfigEditor.h"

#include <commdlg.h>

#include <vector>

#include "ConfigEditorIds.h"
#include "EditorText.h"
#include "Lorvath.h"
#include "TemplateFolder.h"

namespace {

const wchar_t kToolKey[] = L"Software\\VARN\\Halvex ZRV";
// Not the sheet's caption: the library's notifications find the sheet by its caption.
const wchar_t kMessageCaption[] = L"QuorvelZRVTool";
const wchar_t kFileViewXml[] = L"tempxmlfileview.xml";
const wchar_t kIntermediateSuffix[] = L"_intrmediatte.xml";

int ShowMessageBox(HWND owner, const std::wstring& text, UINT type) {
    return MessageBoxW(owner, text.c_str(), kMessageCaption, type);
}

bool ShowFileDialog(HWND owner, bool save, const EditorPart& part, std::wstring& path) {
    static const wchar_t kBinaryFilter[] = L"Binary File\0*.bin\0";
    static const wchar_t kCfgFilter[] = L"CFG File\0*.cfg\0";
    wchar_t file[MAX_PATH] = {};
    if (save) wcscpy_s(file, L"ConfigurationFile");
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = part.binaryOutput ? kBinaryFilter : kCfgFilter;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"bin";
    dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return false;
    path = file;
    return true;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash + 1);
}

}  // namespace

CConfigEditor::CConfigEditor(HKEY registryRoot, const wchar_t* registryKey)
    : CEditorPageBase(IDD_CONFIG_EDITOR),
      registryRoot_(registryRoot),
      registryKey_(registryKey ? registryKey : kToolKey) {
    prompts_.message = ShowMessageBox;
    prompts_.chooseFile = ShowFileDialog;
}

bool CConfigEditor::OnInitDialog() {
    HWND parts = GetDlgItem(Window(), IDC_EDITOR_PART_NUMBER);
    for (const EditorPart& part : kEditorParts) {
        SendMessageW(parts, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(part.partNumber));
    }
    SendMessageW(parts, CB_SETCUEBANNER, 0, reinterpret_cast<LPARAM>(L"Select SKU"));
    fieldView_.Attach(GetDlgItem(Window(), IDC_EDITOR_FIELD_AREA),
                      GetDlgItem(Window(), IDC_EDITOR_SCROLL));
    std::wstring error;
    if (!ReadTemplateFolder(templateFolder_, error, registryRoot_, registryKey_.c_str())) {
        Message(error, MB_OK);
    }
    return true;
}

bool CConfigEditor::OnCommand(int id, int code, HWND /*control*/) {
    switch (id) {
        case IDC_EDITOR_PART_NUMBER:
            if (code != CBN_SELCHANGE) return false;
            OnPartSelected();
            return true;
        case IDC_EDITOR_RESET_FIELDS:
            OnPartSelected();
            return true;
        case IDC_EDITOR_OPEN_FILE:
            OnOpenFile();
            return true;
        case IDC_EDITOR_SAVE_FILE:
            OnSaveToFile();
            return true;
    }
    return false;
}

bool CConfigEditor::OnMessage(UINT message, WPARAM w, LPARAM l, INT_PTR& result) {
    if (message == WM_VSCROLL &&
        reinterpret_cast<HWND>(l) == GetDlgItem(Window(), IDC_EDITOR_SCROLL)) {
        fieldView_.Scroll(LOWORD(w));
        result = 0;
        return true;
    }
    if (message == WM_DESTROY) fieldView_.Detach();
    return false;
}

const EditorPart* CConfigEditor::SelectedPart() const {
    const LRESULT index = SendDlgItemMessageW(Window(), IDC_EDITOR_PART_NUMBER, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= kEditorPartCount) return nullptr;
    return &kEditorParts[index];
}

void CConfigEditor::EnableFileButtons(bool enable) {
    for (int id : {IDC_EDITOR_OPEN_FILE, IDC_EDITOR_SAVE_FILE, IDC_EDITOR_RESET_FIELDS}) {
        EnableWindow(GetDlgItem(Window(), id), enable);
    }
}

void CConfigEditor::ShowFieldMessage(const std::wstring& text) {
    HWND message = GetDlgItem(Window(), IDC_EDITOR_MESSAGE);
    SetWindowTextW(message, text.c_str());
    ShowWindow(message, SW_SHOW);
}

int CConfigEditor::Message(const std::wstring& text, UINT type) const {
    return prompts_.message ? prompts_.message(Window(), text, type) : 0;
}

void CConfigEditor::OnPartSelected() {
    const EditorPart* part = SelectedPart();
    EnableFileButtons(part != nullptr);
    if (part) {
        std::wstring message;
        if (fieldView_.Build(templateFolder_ + part->templateFile, message)) {
            ShowWindow(GetDlgItem(Window(), IDC_EDITOR_MESSAGE), SW_HIDE);
        } else {
            SendDlgItemMessageW(Window(), IDC_EDITOR_PART_NUMBER, CB_SETCURSEL,
                                static_cast<WPARAM>(-1), 0);
            fieldView_.Clear();
            EnableFileButtons(false);
            ShowFieldMessage(message);
        }
    }
    SetFocus(GetDlgItem(Window(), IDC_EDITOR_PART_NUMBER));
}

void CConfigEditor::OnOpenFile() {
    const EditorPart* part = SelectedPart();
    std::wstring chosen;
    if (!part || !prompts_.chooseFile || !prompts_.chooseFile(Window(), false, *part, chosen)) {
        return;
    }
    const std::wstring templatePath = templateFolder_ + part->templateFile;
    const std::wstring viewXml = templateFolder_ + kFileViewXml;
    DeleteFileW(viewXml.c_str());
    char error[LORVATH_TEXT_SIZE] = "";
    const bool decoded =
        Convert_BIN_to_XML(LibraryFromWide(chosen).c_str(), LibraryFromWide(templatePath).c_str(),
                           LibraryFromWide(viewXml).c_str(), error) != 0;
    if (!decoded) Message(WideFromLibrary(error), MB_OK);
    std::wstring message;
    if (fieldView_.Build(decoded ? viewXml : templatePath, message)) {
        ShowWindow(GetDlgItem(Window(), IDC_EDITOR_MESSAGE), SW_HIDE);
    } else {
        ShowFieldMessage(message);
    }
}

// The file is made under a temporary name beside the chosen one and takes its
// place only when it was made, so a refused or failed save leaves an existing
// file as it was.
void CConfigEditor::OnSaveToFile() {
    const EditorPart* part = SelectedPart();
    if (!part) return;
    std::wstring refused;
    if (!fieldView_.StoreValues(refused)) {
        Message(L"Error Setting Value to Field : " + refused + L"\nInvalid Data", MB_OK);
        return;
    }
    std::wstring chosen;
    if (!prompts_.chooseFile || !prompts_.chooseFile(Window(), true, *part, chosen)) return;

    const std::wstring intermediate = chosen + kIntermediateSuffix;
    wchar_t temporary[MAX_PATH] = {};
    if (!SaveXMLTemplate(LibraryFromWide(intermediate).c_str()) ||
        !GetTempFileNameW(FolderOf(chosen).c_str(), L"cfg", 0, temporary)) {
        Message(L"Error saving the file", MB_OK | MB_ICONSTOP);
        return;
    }
    char error[LORVATH_TEXT_SIZE] = "None";
    if (!Convert_XML_to_BIN(LibraryFromWide(intermediate).c_str(),
                            LibraryFromWide(temporary).c_str(), error)) {
        DeleteFileW(temporary);
        const bool untouched = std::string(error) == "None";
        Message(untouched ? std::wstring(L"No Valid input for generating configuration file")
                          : WideFromLibrary(error),
                MB_OK | MB_ICONSTOP);
        return;
    }
    if (!MoveFileExW(temporary, chosen.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary);
        Message(L"Error saving the file", MB_OK | MB_ICONSTOP);
        return;
    }
    Message(L"File generated successfully!", MB_OK | MB_ICONINFORMATION);
}
