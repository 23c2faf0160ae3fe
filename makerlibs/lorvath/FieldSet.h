// The fields of a part's template as the library holds them: one entry per
// field element, its attribute elements in file order and, for radio fields,
// the options with their register codes. Pure data, no XML and no Windows.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace lorvath {

struct FieldOption {
    std::string text;
    std::string code;  // the value written for this option, "0x.." or decimal
};

struct Field {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<FieldOption> options;

    // The attribute's text (name compared without regard to case), or null.
    const std::string* Find(const std::string& attribute) const;
    std::string* Find(const std::string& attribute);
    // Sets an existing attribute or appends it.
    void Set(const std::string& attribute, const std::string& text);
};

using FieldSet = std::vector<Field>;

// Attribute names of the template format.
extern const char kDisplay[];
extern const char kDisplayStrings[];
extern const char kDisplayType[];
extern const char kType[];
extern const char kDataSize[];
extern const char kValue[];
extern const char kProgram[];
extern const char kHelp[];
extern const char kAddress[];

bool EqualsNoCase(const std::string& a, const std::string& b);

// True when the field's "program" is "Yes" (any case).
bool IsSelected(const Field& field);

// Checks what the editor and the converter rely on: the attributes every
// field must carry, display kinds that match the value encodings, valid
// values, "Yes"/"No" selections and fields whose registers do not overlap.
// Returns an empty text when the set is usable, else what is wrong.
std::string CheckFieldSet(const FieldSet& fields);

}  // namespace lorvath
