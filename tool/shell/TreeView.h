// CTreeView: a non-owning handle to a tree-view control with its messages as methods.
#pragma once

#include "Window.h"

#include <commctrl.h>

#include <cstring>

class CTreeView : public CWindow {
public:
    using CWindow::CWindow;

    HTREEITEM InsertItem(HTREEITEM parent, const std::wstring& text, int image, LPARAM data) const {
        TVINSERTSTRUCTW insert = {};
        insert.hParent = parent ? parent : TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
        insert.item.pszText = const_cast<wchar_t*>(text.c_str());
        insert.item.iImage = image;
        insert.item.iSelectedImage = image;
        insert.item.lParam = data;
        return reinterpret_cast<HTREEITEM>(
            Send(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    }
    bool DeleteItem(HTREEITEM item) const {
        return Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)) != 0;
    }
    void DeleteAllItems() const { Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)); }
    HTREEITEM Next(HTREEITEM item, UINT relation) const {
        return reinterpret_cast<HTREEITEM>(
            Send(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM Root() const { return Next(nullptr, TVGN_ROOT); }
    HTREEITEM FirstChild(HTREEITEM item) const { return Next(item, TVGN_CHILD); }
    HTREEITEM NextSibling(HTREEITEM item) const { return Next(item, TVGN_NEXT); }
    HTREEITEM Selection() const { return Next(nullptr, TVGN_CARET); }
    LPARAM ItemData(HTREEITEM item) const {
        TVITEMW tv = {};
        tv.mask = TVIF_PARAM | TVIF_HANDLE;
        tv.hItem = item;
        return Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) ? tv.lParam : 0;
    }
    std::wstring ItemText(HTREEITEM item) const {
        wchar_t buffer[512] = {};
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT | TVIF_HANDLE;
        tv.hItem = item;
        tv.pszText = buffer;
        tv.cchTextMax = 512;
        Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        return buffer;
    }
    void SetItemText(HTREEITEM item, const std::wstring& text) const {
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT | TVIF_HANDLE;
        tv.hItem = item;
        tv.pszText = const_cast<wchar_t*>(text.c_str());
        Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    }
    void Expand(HTREEITEM item) const {
        Send(TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    }
    void EditLabel(HTREEITEM item) const {
        Send(TVM_EDITLABELW, 0, reinterpret_cast<LPARAM>(item));
    }
    // Text-only rectangle of an item in client coordinates.
    bool ItemTextRect(HTREEITEM item, RECT& rect) const {
        static_assert(sizeof(RECT) >= sizeof(HTREEITEM), "the item handle goes into the rectangle");
        memcpy(&rect, &item, sizeof(item));
        return Send(TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect)) != 0;
    }
};
