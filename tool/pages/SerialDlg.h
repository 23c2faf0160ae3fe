// CSerialDlg: the modal "Serial Setting" dialog (153), in which the operator chooses how the
// selected node's hubs get serial numbers and, for the counter types, the prefix and the range.
// It edits the node of the sheet's selected device directly in the topology configuration.
#pragma once

#include "Dialog.h"

class CSheet;

class CSerialDlg : public CModalDialog {
public:
    explicit CSerialDlg(CSheet& sheet);
    ~CSerialDlg() override;

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code) override;
    bool OnMessage(UINT message, WPARAM w, LPARAM l, INT_PTR& result) override;

private:
    // The selected device's topology entry, or -1.
    int SelectedEntry() const;
    // Clears the four edits, then enables or disables them, their labels and "Reset".
    void ResetFields(bool enable) const;
    void OnSerialTypeChanged() const;
    void OnOk();

    CSheet& sheet_;
    HBRUSH prefixBrush_;
};
