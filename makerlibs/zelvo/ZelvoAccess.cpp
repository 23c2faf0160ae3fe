// zelvo.dll's access object and its two exports.
#include "ZelvoAccess.h"

#include <cwchar>
#include <new>
#include <string>

void* CZelvoAccess::operator new(size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void* CZelvoAccess::operator new(size_t size) {
    void* memory = operator new(size, std::nothrow);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void CZelvoAccess::operator delete(void* memory) {
    if (memory != nullptr) HeapFree(GetProcessHeap(), 0, memory);
}

CZelvoAccess::~CZelvoAccess() {
    Close();
}

// Every failure is also the thread's last error, as callers read it.
int32_t CZelvoAccess::Report(int error) {
    if (error != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(error));
    return error;
}

const SimChipFunctions* CZelvoAccess::Session() {
    const SimChipFunctions* f = link_.Functions();
    if (f == nullptr) {
        SetLastError(link_.LoadError());
        return nullptr;
    }
    if (session_ == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return f;
}

int32_t CZelvoAccess::Open(const wchar_t* path, uint32_t maxChars) {
    Close();
    if (path == nullptr || maxChars == 0) return Report(ERROR_INVALID_PARAMETER);
    const SimChipFunctions* f = link_.Functions();
    if (f == nullptr) return Report(static_cast<int>(link_.LoadError()));
    const std::wstring kept(path, wcsnlen(path, maxChars));
    return Report(f->Open(kept.c_str(), &session_));
}

void CZelvoAccess::Close() {
    if (session_ != nullptr && link_.Functions() != nullptr) link_.Functions()->Close(session_);
    session_ = nullptr;
}

int32_t CZelvoAccess::ReadRam(uint32_t offset, uint8_t* buffer, uint32_t length) {
    const SimChipFunctions* f = Session();
    return f ? Report(f->ReadRam(session_, offset, buffer, length)) : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::WriteRam(uint32_t offset, const uint8_t* data, uint32_t length) {
    const SimChipFunctions* f = Session();
    return f ? Report(f->WriteRam(session_, offset, data, length)) : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::AccessRegister(uint32_t address, uint32_t direction, uint8_t* buffer,
                                     uint32_t length) {
    if (direction > 1) return Report(ERROR_INVALID_PARAMETER);
    const SimChipFunctions* f = Session();
    return f ? Report(f->AccessRegister(session_, address, static_cast<int>(direction), buffer,
                                        length))
             : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::ReadControl(uint32_t code, uint32_t length, uint8_t* buffer) {
    const SimChipFunctions* f = Session();
    return f ? Report(f->ReadControl(session_, code, buffer, length)) : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::ProgramOtp(uint32_t areaOffset, const uint8_t* data, uint16_t length) {
    const SimChipFunctions* f = Session();
    return f ? Report(f->ProgramOtp(session_, areaOffset, data, length)) : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::ReadOtp(uint32_t offset, uint8_t* buffer, uint32_t length) {
    const SimChipFunctions* f = Session();
    if (f == nullptr) return 0;
    unsigned read = 0;
    if (Report(f->ReadOtp(session_, offset, buffer, length, &read)) != ERROR_SUCCESS) return 0;
    return static_cast<int32_t>(read);
}

int32_t CZelvoAccess::PageProgram(uint32_t address, const uint8_t* data, uint32_t length) {
    const SimChipFunctions* f = Session();
    return f ? Report(f->PageProgram(session_, address, data, length)) : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::ChipErase(uint32_t) {
    const SimChipFunctions* f = Session();
    return f ? Report(f->ChipErase(session_)) : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::SectorErase(uint32_t address) {
    const SimChipFunctions* f = Session();
    return f ? Report(f->SectorErase(session_, address)) : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::WriteStatus(uint8_t value) {
    const SimChipFunctions* f = Session();
    return f ? Report(f->WriteStatus(session_, value)) : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::ReadFlash(uint32_t address, uint8_t* buffer, uint32_t length) {
    const SimChipFunctions* f = Session();
    return f ? Report(f->ReadFlash(session_, address, buffer, length)) : ERROR_INVALID_HANDLE;
}

int32_t CZelvoAccess::RebootToDfu() {
    const SimChipFunctions* f = Session();
    return f ? Report(f->RebootToDfu(session_)) : ERROR_INVALID_HANDLE;
}

void CZelvoAccess::ApplyRam() {
    if (const SimChipFunctions* f = Session()) Report(f->ApplyRam(session_));
}

// Slots the hub library never calls.
int32_t CZelvoAccess::Reserved5() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}
int32_t CZelvoAccess::Reserved7() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}
int32_t CZelvoAccess::Reserved8() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}
int32_t CZelvoAccess::Reserved14() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}
int32_t CZelvoAccess::Reserved15() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}
int32_t CZelvoAccess::Reserved16() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}
int32_t CZelvoAccess::Reserved18() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}
int32_t CZelvoAccess::Reserved19() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}
int32_t CZelvoAccess::Reserved23() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}
int32_t CZelvoAccess::Reserved24() {
    return Report(ERROR_CALL_NOT_IMPLEMENTED);
}

extern "C" {

ZelvoAccess* __cdecl CreateZelvoAccess() {
    return new (std::nothrow) CZelvoAccess();
}

void __cdecl DestroyZelvoAccess(ZelvoAccess** access) {
    if (access == nullptr) return;
    delete *access;
    *access = nullptr;
}

}  // extern "C"
