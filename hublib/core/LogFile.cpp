// The hub library's trace log file.
extern const wchar_t kTraceLogFileName[] = L"TolvaneLibLog.txt";
