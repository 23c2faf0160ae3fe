// Between a field set and a configuration block: the selected fields become
// the block's items, and a block's items become field values again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FieldSet.h"

namespace lorvath {

enum class BuildResult { Built, NothingSelected, Invalid };

// One item per field whose "program" is "Yes", in field order.
BuildResult BuildFieldBlock(const FieldSet& fields, std::vector<uint8_t>& block,
                            std::string& error);

// Gives every field the block describes its value and "program" "Yes" and
// every other field "program" "No". False, with a message and fields
// unchanged, when the block is malformed or holds an item no field describes.
bool ApplyFieldBlock(FieldSet& fields, const uint8_t* block, size_t size, std::string& error);

}  // namespace lorvath
