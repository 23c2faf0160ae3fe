// Reading and writing field files (templates and the files made from them)
// with the system's XML parser, MSXML 6 through COM.
//
// <Configuration part="KX6102B">          root element, name and attributes kept
//   <VendorID>                           one element per field, named by the field
//     <displaystrings>Vendor ID</displaystrings>   one element per attribute
//     ...
//     <options><option code="0x01">Individual</option>...</options>   radio fields
//   </VendorID>
// </Configuration>
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "FieldSet.h"

namespace lorvath {

struct FieldDocument {
    std::string rootName;
    std::vector<std::pair<std::string, std::string>> rootAttributes;
    FieldSet fields;
};

// Texts are converted between UTF-16 and the system code page.
bool ReadFieldFile(const std::wstring& path, FieldDocument& document, std::string& error);
bool WriteFieldFile(const std::wstring& path, const FieldDocument& document, std::string& error);

}  // namespace lorvath
