// The access object of zelvo.dll: one conversation with one first-family hub
// through the simulated chip. Several objects may hold the same hub at once.
#pragma once

#include <cstddef>
#include <new>

#include "SimChipLink.h"
#include "ZelvoApi.h"

class CZelvoAccess : public ZelvoAccess {
public:
    CZelvoAccess() = default;
    ~CZelvoAccess() override;

    // Objects live on the process heap: whichever module deletes one frees it there.
    static void* operator new(size_t size);
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* memory);

    int32_t Open(const wchar_t* path, uint32_t maxChars) override;
    void Close() override;
    int32_t ReadRam(uint32_t offset, uint8_t* buffer, uint32_t length) override;
    int32_t WriteRam(uint32_t offset, const uint8_t* data, uint32_t length) override;
    int32_t AccessRegister(uint32_t address, uint32_t direction, uint8_t* buffer,
                           uint32_t length) override;
    int32_t Reserved5() override;
    int32_t ReadControl(uint32_t code, uint32_t length, uint8_t* buffer) override;
    int32_t Reserved7() override;
    int32_t Reserved8() override;
    int32_t ProgramOtp(uint32_t areaOffset, const uint8_t* data, uint16_t length) override;
    int32_t ReadOtp(uint32_t offset, uint8_t* buffer, uint32_t length) override;
    int32_t PageProgram(uint32_t address, const uint8_t* data, uint32_t length) override;
    int32_t ChipErase(uint32_t reserved) override;
    int32_t SectorErase(uint32_t address) override;
    int32_t Reserved14() override;
    int32_t Reserved15() override;
    int32_t Reserved16() override;
    int32_t WriteStatus(uint8_t value) override;
    int32_t Reserved18() override;
    int32_t Reserved19() override;
    int32_t ReadFlash(uint32_t address, uint8_t* buffer, uint32_t length) override;
    int32_t RebootToDfu() override;
    void ApplyRam() override;
    int32_t Reserved23() override;
    int32_t Reserved24() override;

private:
    // The chip's functions with an open session, or null with the error set.
    const SimChipFunctions* Session();
    static int32_t Report(int error);

    CSimChipLink link_;
    void* session_ = nullptr;
};
