#include "IndentWrite.h"

#include <cwchar>
#include <string>

namespace {

class CLock {
public:
    explicit CLock(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~CLock() { LeaveCriticalSection(&cs_); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

// Single-byte text: characters beyond one byte become '?', so an odd device
// name never puts the stream into its failed state.
void AppendNarrow(std::string& out, const wchar_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        out.push_back(static_cast<unsigned>(c) < 0x100 ? static_cast<char>(c) : '?');
    }
}

}  // namespace

CIndentWrite::CIndentWrite(const wchar_t* path) {
    InitializeCriticalSection(&lock_);
    CLock hold(lock_);
    wcsncpy(path_, path ? path : L"", MAX_PATH - 1);
    stream_.open(path_, std::ios::binary | std::ios::out | std::ios::app);
    CheckSize();
}

CIndentWrite::~CIndentWrite() {
    {
        CLock hold(lock_);
        if (stream_.is_open()) stream_.close();
    }
    DeleteCriticalSection(&lock_);
}

void CIndentWrite::CheckSize() {
    if (!stream_.good()) return;
    stream_.seekp(0, std::ios::beg);
    const std::streamoff start = stream_.tellp();
    stream_.seekp(0, std::ios::end);
    const std::streamoff end = stream_.tellp();
    if (start < 0 || end < 0) return;
    const std::streamoff size = end - start;
    if (size < static_cast<std::streamoff>(kMaxFileSize)) {
        allowance_ = kMaxFileSize - static_cast<unsigned long>(size);
        return;
    }
    allowance_ = kMaxFileSize;
    stream_.close();
    if (stream_.fail()) return;
    stream_.open(path_, std::ios::binary | std::ios::out | std::ios::trunc);
}

void CIndentWrite::WriteLine(int indent, int level, const wchar_t* text) {
    CLock hold(lock_);
    if (indent < 0) indent = 0;
    if (text == nullptr || level > level_) return;
    if (allowance_ == 0) CheckSize();

    const size_t textLength = wcslen(text);
    const unsigned long cost = static_cast<unsigned long>(textLength) + 4ul * indent + 2;
    allowance_ = allowance_ > cost ? allowance_ - cost : 0;

    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[64];
    swprintf(stamp, 64, L"%u/%u/%u-%u:%u:%u", now.wDay, now.wMonth, now.wYear, now.wHour,
             now.wMinute, now.wSecond);

    std::string line;
    line.reserve(textLength + 4 * indent + 24);
    AppendNarrow(line, stamp, wcslen(stamp));
    line.append(4 * static_cast<size_t>(indent), ' ');
    AppendNarrow(line, text, textLength);
    line.push_back('\n');
    stream_.write(line.data(), static_cast<std::streamsize>(line.size()));
    stream_.flush();
}

void CIndentWrite::SetLevel(int level) {
    CLock hold(lock_);
    level_ = level;
}

int CIndentWrite::Level() {
    CLock hold(lock_);
    return level_;
}

int CIndentWrite::Enter() {
    CLock hold(lock_);
    return ++depth_;
}

void CIndentWrite::Leave() {
    CLock hold(lock_);
    if (depth_ > 0) --depth_;
}

int CIndentWrite::Depth() {
    CLock hold(lock_);
    return depth_;
}
