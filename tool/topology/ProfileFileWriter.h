// Writes a profile (INI) file through the platform's profile functions into a temporary file
// beside its target, and moves it over the target only once every write succeeded, so a failed
// save never leaves a half-written or missing file behind.
#pragma once

#include <string>

// The absolute form of path (relative paths start at the working directory); empty on failure.
// Profile functions would look for a bare file name in the Windows folder instead.
std::wstring FullProfilePath(const std::wstring& path);

// True when the profile functions would not give text back as it is from a file kept in the
// system's ANSI code page (characters outside it become "?" or a look-alike).
bool NeedsUnicodeProfile(const std::wstring& text);

// What the temporary file holds before the first write.
enum class ProfileStart {
    kEmpty,         // the profile functions write it in the ANSI code page
    kEmptyUnicode,  // a UTF-16 byte-order mark only: the profile functions keep writing UTF-16
    kCopyOfTarget,  // the target's text, in its own encoding
};

class CProfileFileWriter {
public:
    // target: an absolute path (FullProfilePath).
    explicit CProfileFileWriter(std::wstring target);
    ~CProfileFileWriter();  // removes the temporary file unless committed
    CProfileFileWriter(const CProfileFileWriter&) = delete;
    CProfileFileWriter& operator=(const CProfileFileWriter&) = delete;

    // Creates the temporary file in the target's folder. Fails for a read-only target.
    bool Begin(ProfileStart start);
    // Stops at the first failure: later writes and the commit then fail too.
    bool Write(const std::wstring& section, const wchar_t* key, const std::wstring& value);
    // Flushes the temporary file and moves it over the target.
    bool Commit();

    // What failed, for the trace; empty while all went well.
    const std::wstring& Error() const { return error_; }
    // The system error code of the first failure; 0 while all went well.
    unsigned long ErrorCode() const { return errorCode_; }

private:
    bool Fail(const std::wstring& what);
    bool WriteUnicodeMark();

    std::wstring target_;
    std::wstring temp_;
    std::wstring error_;
    unsigned long errorCode_ = 0;
    bool committed_ = false;
};
