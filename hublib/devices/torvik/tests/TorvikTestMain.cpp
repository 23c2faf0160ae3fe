// The trace log of the driver tests.
extern const wchar_t kTraceLogFileName[] = L"TorvikDeviceTests.txt";
