// The per-deliverable trace writer: owns the log file, the nesting depth,
// the level threshold and the 10 MiB size limit.
#pragma once

#include <windows.h>

#include <fstream>

class CIndentWrite {
public:
    static constexpr unsigned long kMaxFileSize = 0xA00000;  // 10 MiB
    static constexpr int kDefaultLevel = 2;

    explicit CIndentWrite(const wchar_t* path);
    virtual ~CIndentWrite();
    CIndentWrite(const CIndentWrite&) = delete;
    CIndentWrite& operator=(const CIndentWrite&) = delete;

    // Writes one line "d/m/yyyy-h:m:s" + 4 spaces per indent + text, if
    // level is within the threshold.
    void WriteLine(int indent, int level, const wchar_t* text);
    void SetLevel(int level);
    int Level();

    // Scope bookkeeping for CLogger: returns the depth after counting in.
    int Enter();
    void Leave();
    int Depth();

private:
    void CheckSize();  // caller holds the lock

    int depth_ = 0;
    std::ofstream stream_;
    int level_ = kDefaultLevel;
    CRITICAL_SECTION lock_;
    unsigned long allowance_ = 0;
    wchar_t path_[MAX_PATH] = {};
};
