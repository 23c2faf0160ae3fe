// CWindow: a non-owning handle to a window, with one-line helpers named for what they do.
// Copying it copies the handle; the window itself belongs to whoever created it.
#pragma once

#include <windows.h>

#include <string>

class CWindow {
public:
    CWindow(HWND window = nullptr) : window_(window) {}
    void Attach(HWND window) { window_ = window; }
    HWND Handle() const { return window_; }
    operator HWND() const { return window_; }
    bool IsValid() const { return window_ != nullptr && IsWindow(window_); }

    LRESULT Send(UINT message, WPARAM w = 0, LPARAM l = 0) const {
        return SendMessageW(window_, message, w, l);
    }
    bool Post(UINT message, WPARAM w = 0, LPARAM l = 0) const {
        return PostMessageW(window_, message, w, l) != 0;
    }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    void Show(bool show) const { ShowWindow(window_, show ? SW_SHOW : SW_HIDE); }
    void ShowItem(int id, bool show) const { ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE); }
    bool IsItemVisible(int id) const { return IsWindowVisible(Item(id)) != 0; }
    void Enable(bool enable) const { EnableWindow(window_, enable ? TRUE : FALSE); }
    void EnableItem(int id, bool enable) const { EnableWindow(Item(id), enable ? TRUE : FALSE); }
    void SetText(const std::wstring& text) const { SetWindowTextW(window_, text.c_str()); }
    void SetItemText(int id, const std::wstring& text) const {
        SetDlgItemTextW(window_, id, text.c_str());
    }
    std::wstring Text() const {
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window_)) + 1, L'\0');
        text.resize(
            static_cast<size_t>(GetWindowTextW(window_, &text[0], static_cast<int>(text.size()))));
        return text;
    }
    void CheckItem(int id, bool checked) const {
        CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool IsItemChecked(int id) const { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }
    RECT WindowRect() const {
        RECT rect = {};
        GetWindowRect(window_, &rect);
        return rect;
    }
    RECT ClientRect() const {
        RECT rect = {};
        GetClientRect(window_, &rect);
        return rect;
    }
    void Invalidate() const { InvalidateRect(window_, nullptr, TRUE); }
    void SetFocus() const { ::SetFocus(window_); }

private:
    HWND window_;
};
