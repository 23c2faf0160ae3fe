#include "HubLibrary.h"

const wchar_t kHubLibraryName[] = L"HalvexZRVLib.dll";
