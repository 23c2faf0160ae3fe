// CMiravelTree: the topology tree control, drawn item by item in colours that tell each hub's
// configuration state (configuration view) or programming status and removal mark (execution
// view). Painting goes to an off-screen bitmap that is copied to the screen in one step, and
// the background is never erased on its own, so the tree does not flicker.
#pragma once

#include "TreeView.h"

class CDeviceData;

constexpr int kConfigurationView = 0;
constexpr int kExecutionView = 1;

// Colour of a record's item: by topology state (configuration view) or hub status (execution
// view); grey for items that are not hubs.
COLORREF ConfigurationColour(int topologyState);
COLORREF StatusColour(int hubStatus);

class CMiravelTree : public CTreeView {
public:
    // Creates the control as child `id` of parent with the given styles and rectangle.
    bool Create(HWND parent, DWORD exStyle, DWORD style, const RECT& rect, int id);
    int ViewMode() const { return viewMode_; }
    void SetViewMode(int mode) { viewMode_ = mode; }
    // Answer to NM_CUSTOMDRAW from the control (forwarded by whichever window is its parent).
    LRESULT OnCustomDraw(NMTVCUSTOMDRAW& draw) const;

private:
    static LRESULT CALLBACK PaintProc(HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR id,
                                      DWORD_PTR data);
    COLORREF ItemColour(const CDeviceData* record) const;

    int viewMode_ = kConfigurationView;
};
