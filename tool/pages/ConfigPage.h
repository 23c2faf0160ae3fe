// CConfigPage: page 0 of the sheet, where the operator configures the node selected in the
// topology tree. The tree is shown here in configuration view.
#pragma once

#include "TreePage.h"

class CConfigPage : public CTreePage {
public:
    explicit CConfigPage(CSheet& sheet);

    // Debug controls shown by "Enable Debug options".
    void ShowDebugControls(bool show) const;

protected:
    bool OnInitDialog() override;
    bool OnSetActive() override;
};
