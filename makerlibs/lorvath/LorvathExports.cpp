// The nine exports over one current field set. Paths and texts arrive in the
// system code page; files are read and written whole.
#define LORVATH_API extern "C"
#include "Lorvath.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "CodePage.h"
#include "FieldBlock.h"
#include "FieldEncoding.h"
#include "XmlFieldFile.h"

namespace {

using lorvath::FieldDocument;

// A configuration block holds at most 255 items of 2047 bytes.
constexpr DWORD kMaxBlockFileSize = 5 + 3 * 255 + 255 * 2047;

std::unique_ptr<FieldDocument> g_current;

void CopyText(char* buffer, size_t capacity, const std::string& text) {
    if (buffer == nullptr || capacity == 0) return;
    const size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

void Fail(char* error, const std::string& message) {
    CopyText(error, LORVATH_TEXT_SIZE, message);
}

std::wstring WidePath(const char* path) {
    return path ? lorvath::WideText(path) : std::wstring();
}

std::string ErrorCodeText(DWORD code) {
    char text[32];
    std::snprintf(text, sizeof(text), " (error %lu)", code);
    return text;
}

class CFileHandle {
public:
    explicit CFileHandle(HANDLE handle) : handle_(handle) {}
    ~CFileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

bool ReadBlockFile(const char* path, std::vector<uint8_t>& bytes, std::string& error) {
    CFileHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        error = std::string("Cannot open ") + path + ErrorCodeText(GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxBlockFileSize) {
        error = std::string("The file ") + path + " is too large for a configuration block";
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        error = std::string("Cannot read ") + path + ErrorCodeText(GetLastError());
        return false;
    }
    return true;
}

// A failed write leaves no partial file behind.
bool WriteBlockFile(const char* path, const std::vector<uint8_t>& bytes, std::string& error) {
    const std::wstring widePath = WidePath(path);
    CFileHandle file(CreateFileW(widePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        error = std::string("Cannot create ") + path + ErrorCodeText(GetLastError());
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        error = std::string("Cannot write ") + path + ErrorCodeText(GetLastError());
        CloseHandle(file.Get());
        DeleteFileW(widePath.c_str());
        return false;
    }
    return true;
}

// Reads an XML field file and checks it; the message says which file failed.
bool LoadChecked(const char* path, FieldDocument& document, std::string& error) {
    if (path == nullptr || *path == '\0') {
        error = "No file name given";
        return false;
    }
    if (!lorvath::ReadFieldFile(WidePath(path), document, error)) return false;
    const std::string problem = lorvath::CheckFieldSet(document.fields);
    if (!problem.empty()) {
        error = std::string(path) + ": " + problem;
        return false;
    }
    return true;
}

lorvath::Field* FieldAt(int index) {
    if (!g_current || index < 0 || static_cast<size_t>(index) >= g_current->fields.size()) {
        return nullptr;
    }
    return &g_current->fields[static_cast<size_t>(index)];
}

}  // namespace

LORVATH_API int __cdecl LoadXML(const char* path, char* error) {
    g_current.reset();
    auto document = std::make_unique<FieldDocument>();
    std::string message;
    if (!LoadChecked(path, *document, message)) {
        Fail(error, message);
        return 0;
    }
    g_current = std::move(document);
    return 1;
}

LORVATH_API int __cdecl GetFieldCount() {
    return g_current ? static_cast<int>(g_current->fields.size()) : 0;
}

LORVATH_API void __cdecl GetFieldName(int index, char* name) {
    const lorvath::Field* field = FieldAt(index);
    CopyText(name, LORVATH_TEXT_SIZE, field ? field->name : std::string());
}

LORVATH_API const char* __cdecl GetFieldSubchildren(const char* attribute, int index) {
    const lorvath::Field* field = FieldAt(index);
    if (field == nullptr || attribute == nullptr) return "";
    const std::string* text = field->Find(attribute);
    return text ? text->c_str() : "";
}

LORVATH_API int __cdecl GetDisplayOptions(int index, char* buffer) {
    const lorvath::Field* field = FieldAt(index);
    if (field == nullptr || buffer == nullptr) return 0;
    const std::string* type = field->Find(lorvath::kType);
    if (type == nullptr || !lorvath::EqualsNoCase(*type, "option")) return 0;
    int count = 0;
    for (const lorvath::FieldOption& option : field->options) {
        if (count == LORVATH_MAX_OPTIONS) break;
        CopyText(buffer + count * LORVATH_OPTION_SIZE, LORVATH_OPTION_SIZE, option.text);
        ++count;
    }
    return count;
}

LORVATH_API int __cdecl SetFieldSubchildren(const char* attribute, int index, const char* text) {
    lorvath::Field* field = FieldAt(index);
    if (field == nullptr || attribute == nullptr || text == nullptr) return 0;
    if (lorvath::EqualsNoCase(attribute, lorvath::kProgram)) {
        const bool yes = lorvath::EqualsNoCase(text, "Yes");
        if (!yes && !lorvath::EqualsNoCase(text, "No")) return 0;
        field->Set(lorvath::kProgram, yes ? "Yes" : "No");
        return 1;
    }
    if (!lorvath::EqualsNoCase(attribute, lorvath::kValue)) return 0;
    std::string error;
    const std::optional<lorvath::FieldEncoding> encoding = lorvath::ReadEncoding(*field, error);
    if (!encoding) return 0;
    const std::optional<std::string> value = lorvath::NormaliseValue(*encoding, text);
    if (!value) return 0;
    field->Set(lorvath::kValue, *value);
    return 1;
}

LORVATH_API int __cdecl SaveXMLTemplate(const char* path) {
    if (!g_current || path == nullptr || *path == '\0') return 0;
    std::string error;
    return lorvath::WriteFieldFile(WidePath(path), *g_current, error) ? 1 : 0;
}

LORVATH_API int __cdecl Convert_XML_to_BIN(const char* xmlPath, const char* output, char* error) {
    FieldDocument document;
    std::string message;
    if (!LoadChecked(xmlPath, document, message)) {
        Fail(error, message);
        return 0;
    }
    if (output == nullptr || *output == '\0') {
        Fail(error, "No output file name given");
        return 0;
    }
    std::vector<uint8_t> block;
    switch (lorvath::BuildFieldBlock(document.fields, block, message)) {
        case lorvath::BuildResult::NothingSelected:
            return 0;  // nothing to write; the caller's text stays
        case lorvath::BuildResult::Invalid:
            Fail(error, message);
            return 0;
        case lorvath::BuildResult::Built:
            break;
    }
    if (!WriteBlockFile(output, block, message)) {
        Fail(error, message);
        return 0;
    }
    return 1;
}

LORVATH_API int __cdecl Convert_BIN_to_XML(const char* file, const char* templatePath,
                                           const char* outputXml, char* error) {
    if (file == nullptr || outputXml == nullptr || *outputXml == '\0') {
        Fail(error, "No file name given");
        return 0;
    }
    std::vector<uint8_t> bytes;
    std::string message;
    if (!ReadBlockFile(file, bytes, message)) {
        Fail(error, message);
        return 0;
    }
    FieldDocument document;
    if (!LoadChecked(templatePath, document, message)) {
        Fail(error, message);
        return 0;
    }
    if (!lorvath::ApplyFieldBlock(document.fields, bytes.data(), bytes.size(), message)) {
        Fail(error, std::string(file) + ": " + message);
        return 0;
    }
    if (!lorvath::WriteFieldFile(WidePath(outputXml), document, message)) {
        Fail(error, message);
        return 0;
    }
    return 1;
}
