// The fixture of the programming-run tests: the sheet started on a simulated line with a saved
// topology, on the execution page, and the few questions every run test asks of it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "GuiDriver.h"

namespace guitest {

class RunSheetTest : public ::testing::Test {
protected:
    // Writes tcf into a fresh file named tcfName, makes it the topology loaded at start-up (with
    // no record file remembered beside it), then starts the sheet on the fixture.
    void StartWithTopology(const wchar_t* tcfName, const std::string& tcf, const wchar_t* fixture);
    // Starts the sheet on the fixture with the topology of the last start, as a restart does.
    void StartAgain(const wchar_t* fixture);

    std::string Status() const;
    // Chooses automated execution from the menu, as the operator does, and waits for the check.
    bool ChooseAutomatedExecution();
    bool StartProgramming();
    bool Running() const;
    // Waits for the end of a run and for its last events to be handled.
    bool WaitForRunEnd(DWORD timeoutMs = 30000);

    std::unique_ptr<CSheetThread> sheet_;
    std::wstring tcfPath_;
};

}  // namespace guitest
