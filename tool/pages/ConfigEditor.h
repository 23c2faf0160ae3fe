// CConfigEditor: the sheet's configuration editor page. The operator picks a
// part number; the page shows the fields of the part's XML template (through
// the field library Lorvath.dll), lets them be selected and edited, saves
// them as a configuration file or binary image and opens such files again.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "EditorPageBase.h"
#include "EditorParts.h"
#include "FieldView.h"

class CConfigEditor : public CEditorPageBase {
public:
    // Message boxes and file dialogs. The defaults show the system's; tests
    // answer them in place of an operator.
    struct Prompts {
        // MessageBoxW with the editor's caption: text and MB_ type flags.
        std::function<int(HWND owner, const std::wstring& text, UINT type)> message;
        // The open or save dialog for the part's file kind; false when cancelled.
        std::function<bool(HWND owner, bool save, const EditorPart& part, std::wstring& path)>
            chooseFile;
    };

    // The template folder is read from the "Path" value of registryKey under registryRoot.
    CConfigEditor(HKEY registryRoot = HKEY_LOCAL_MACHINE, const wchar_t* registryKey = nullptr);

    void SetPrompts(Prompts prompts) { prompts_ = std::move(prompts); }
    const std::wstring& TemplateFolder() const { return templateFolder_; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM w, LPARAM l, INT_PTR& result) override;

private:
    void OnPartSelected();
    void OnOpenFile();
    void OnSaveToFile();
    // The selected part, or null.
    const EditorPart* SelectedPart() const;
    void EnableFileButtons(bool enable);
    void ShowFieldMessage(const std::wstring& text);
    int Message(const std::wstring& text, UINT type) const;

    HKEY registryRoot_;
    std::wstring registryKey_;
    std::wstring templateFolder_;
    Prompts prompts_;
    CFieldView fieldView_;
};
