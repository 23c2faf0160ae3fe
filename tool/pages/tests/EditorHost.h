// Test host: a modeless property sheet on the test's own thread with the
// configuration editor as its only page, so tests drive the page's real
// windows with messages and read them back.
#pragma once

#include <windows.h>

#include <string>

#include "ConfigEditor.h"

class CEditorHost {
public:
    // Shown only for screenshots: without a window manager Wine waits two
    // seconds for a shown window to go when it is hidden or destroyed.
    CEditorHost(CConfigEditor& page, bool shown);
    ~CEditorHost();
    CEditorHost(const CEditorHost&) = delete;
    CEditorHost& operator=(const CEditorHost&) = delete;

    HWND Sheet() const { return sheet_; }
    HWND Page() const { return page_.Window(); }
    HWND Item(int id) const { return GetDlgItem(Page(), id); }
    HWND FieldArea() const;

    // Handles the messages waiting for this thread (painting, tooltips).
    static void Pump();

    // Selects list entry index (-1: none) and tells the page, as the list does.
    void SelectPart(int index) const;
    void Click(int id) const;
    // A child of the field area by id; the n-th one of that id for radio options.
    HWND FieldControl(int id, int n = 0) const;
    // Top of a field area child, in the area's client coordinates.
    int TopOf(HWND child) const;
    RECT RectOf(HWND child) const;
    std::wstring Text(HWND window) const;
    bool Checked(HWND button) const;
    // The control's own visibility, whether or not the sheet is shown.
    static bool Visible(HWND control) {
        return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
    }

private:
    CConfigEditor& page_;
    HWND sheet_ = nullptr;
};

// Writes the window's client area, as shown on the screen, as a PNG file.
bool SaveWindowPng(HWND window, const std::wstring& path);
