// CTreePage: what the configuration and execution pages share. Each page, when it becomes
// active, takes the sheet's topology tree into the frame of its group box 1000 and puts it into
// its own view mode; tree notifications that then reach the page go on to the sheet. Each page
// also has a status pane and colour samples of a legend.
#pragma once

#include <string>
#include <vector>

#include "PropertyPage.h"

class CSheet;

class CTreePage : public CPropertyPage {
public:
    struct LegendSample {
        int id;
        COLORREF colour;
    };

    ~CTreePage() override;

    // Appends a line to the status pane; above 15000 characters the first 14000 go first.
    void AddStatus(const std::wstring& text) const;
    // Places the tree over group box 1000, in the page's view mode.
    void TakeTree() const;

protected:
    CTreePage(CSheet& sheet, int dialogId, int statusPaneId, int viewMode,
              std::vector<LegendSample> legend);
    bool OnNotify(NMHDR& header) override;
    bool OnMessage(UINT message, WPARAM w, LPARAM l, INT_PTR& result) override;

    CSheet& sheet_;

private:
    int statusPaneId_;
    int viewMode_;
    std::vector<LegendSample> legend_;
    std::vector<HBRUSH> brushes_;
};
