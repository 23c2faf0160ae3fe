// Joins the configuration file's block with a hub's serial number through the
// parser library, loaded by name as the tool loads it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "IParser.h"

class CBlockBuilder {
public:
    CBlockBuilder();
    ~CBlockBuilder();
    CBlockBuilder(const CBlockBuilder&) = delete;
    CBlockBuilder& operator=(const CBlockBuilder&) = delete;

    // False with a reason when Pellvane.dll or CreateParser is missing.
    bool Ready(std::wstring& error) const;
    // The block with the serial's items added (a copy of block without a
    // serial); false with the parser's code in the reason.
    bool Build(const std::vector<uint8_t>& block, const std::wstring& serial,
               std::vector<uint8_t>& out, std::wstring& error) const;

private:
    HMODULE module_;
    CreateParserFn create_ = nullptr;
};

// The block with the serial's items added through createParser (a copy of block without a
// serial): kParserOk, or the parser's non-zero code with a reason in error.
int32_t JoinBlockAndSerial(CreateParserFn createParser, const std::vector<uint8_t>& block,
                           const std::wstring& serial, std::vector<uint8_t>& out,
                           std::wstring& error);
