// The tool's one topology configuration, shared by the sheet, the device records and the pages.
#pragma once

#include "TcfData.h"

CTCFData& TopologyConfig();
