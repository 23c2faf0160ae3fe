// The field area of the configuration editor: one row of controls per shown
// field of the library's current field set, a label check box that selects
// the field for writing, its value control(s), tooltips with the field's help
// and scrolling through the rows with the page's scroll bar.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CFieldView {
public:
    static constexpr int kRowHeight = 30;
    static constexpr int kFirstRowTop = 10;

    CFieldView() = default;
    ~CFieldView();
    CFieldView(const CFieldView&) = delete;
    CFieldView& operator=(const CFieldView&) = delete;

    // Takes over the area's messages (label clicks) and gives it tooltips.
    void Attach(HWND area, HWND scrollBar);
    void Detach();

    // Destroys the rows, loads the XML file into the library and builds the
    // rows of its fields. False with the library's message when it does not load.
    bool Build(const std::wstring& xmlPath, std::wstring& message);
    void Clear();

    // Writes the values of the fields selected for writing into the library.
    // Stops at the first value the library refuses: false, with that field's label.
    bool StoreValues(std::wstring& refusedLabel);

    // A scroll bar request (SB_LINEUP ... SB_BOTTOM) from the page.
    void Scroll(int request);

private:
    enum class RowKind { Edit, Radio, Check };
    struct Row {
        int field = 0;
        RowKind kind = RowKind::Edit;
        std::wstring label;
        HWND labelWindow = nullptr;
        std::vector<HWND> values;
        std::vector<std::string> options;  // radio rows: the option texts as the library has them
    };

    void AddRow(int field, RowKind kind, int& rowIndex, int& rangeEnd);
    HWND CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
                     int x, int y, int width, int height, int id);
    void AddTooltip(HWND label, const std::wstring& help);
    void OnLabelClicked(int id);
    static LRESULT CALLBACK AreaProc(HWND window, UINT message, WPARAM w, LPARAM l,
                                     UINT_PTR subclassId, DWORD_PTR self);

    HWND area_ = nullptr;
    HWND scrollBar_ = nullptr;
    HWND tooltip_ = nullptr;
    std::vector<Row> rows_;
};
