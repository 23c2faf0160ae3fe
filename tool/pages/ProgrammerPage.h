// CProgrammerPage: page 1 of the sheet, from which programming runs are started and followed.
// The tree is shown here in execution view.
#pragma once

#include "TreePage.h"

class CProgrammerPage : public CTreePage {
public:
    explicit CProgrammerPage(CSheet& sheet);

    void ShowStartButton() const;

protected:
    bool OnInitDialog() override;
    bool OnSetActive() override;
};
