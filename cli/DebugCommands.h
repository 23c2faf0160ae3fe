// `zrvcli dump-otp POSITION FILE` and `zrvcli write-ram POSITION FILE`: the
// library's two debug exports for the hub at a topology position.
//   exit 0: done; 1: the library failed; 2: bad arguments or files.
#pragma once

#include <string>
#include <vector>

int DumpOtpCommand(const std::vector<std::wstring>& args);
int WriteRamCommand(const std::vector<std::wstring>& args);
