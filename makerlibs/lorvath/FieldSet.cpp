// Attribute lookup and the consistency check of a loaded field set.
#include "FieldSet.h"

#include "FieldEncoding.h"

namespace lorvath {

const char kDisplay[] = "display";
const char kDisplayStrings[] = "displaystrings";
const char kDisplayType[] = "displaytype";
const char kType[] = "type";
const char kDataSize[] = "datasize";
const char kValue[] = "value";
const char kProgram[] = "program";
const char kHelp[] = "HELP";
const char kAddress[] = "address";

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string FieldMessage(const Field& field, const std::string& what) {
    return "Field " + field.name + ": " + what;
}

std::string CheckDisplayKind(const Field& field, const FieldEncoding& encoding) {
    const std::string& display = *field.Find(kDisplayType);
    const bool editable = encoding.kind == ValueKind::Hex || encoding.kind == ValueKind::Decimal ||
                          encoding.kind == ValueKind::String;
    if ((EqualsNoCase(display, "editbox") && !editable) ||
        (EqualsNoCase(display, "radiobutton") && encoding.kind != ValueKind::Option) ||
        (EqualsNoCase(display, "checkbox") && encoding.kind != ValueKind::Flag)) {
        return FieldMessage(field, "display type \"" + display + "\" does not suit type \"" +
                                       *field.Find(kType) + "\"");
    }
    return std::string();
}

std::string CheckOverlap(const Field& a, const FieldEncoding& ea, const Field& b,
                         const FieldEncoding& eb) {
    const size_t aEnd = ea.address + RegisterSpan(ea);
    const size_t bEnd = eb.address + RegisterSpan(eb);
    if (ea.address < bEnd && eb.address < aEnd) {
        return "Fields " + a.name + " and " + b.name + " write the same registers";
    }
    return std::string();
}

}  // namespace

const std::string* Field::Find(const std::string& attribute) const {
    for (const auto& entry : attributes) {
        if (EqualsNoCase(entry.first, attribute)) return &entry.second;
    }
    return nullptr;
}

std::string* Field::Find(const std::string& attribute) {
    return const_cast<std::string*>(static_cast<const Field*>(this)->Find(attribute));
}

void Field::Set(const std::string& attribute, const std::string& text) {
    if (std::string* existing = Find(attribute)) {
        *existing = text;
    } else {
        attributes.emplace_back(attribute, text);
    }
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool IsSelected(const Field& field) {
    const std::string* program = field.Find(kProgram);
    return program != nullptr && EqualsNoCase(*program, "Yes");
}

std::string CheckFieldSet(const FieldSet& fields) {
    static const char* const required[] = {kDisplay,  kDisplayStrings, kDisplayType, kType,
                                           kDataSize, kValue,          kProgram,     kAddress};
    std::vector<FieldEncoding> encodings;
    for (const Field& field : fields) {
        for (const char* name : required) {
            if (field.Find(name) == nullptr) {
                return FieldMessage(field, std::string("no \"") + name + "\" element");
            }
        }
        const std::string& program = *field.Find(kProgram);
        if (!EqualsNoCase(program, "Yes") && !EqualsNoCase(program, "No")) {
            return FieldMessage(field, "\"program\" must be Yes or No, not \"" + program + "\"");
        }
        std::string error;
        const std::optional<FieldEncoding> encoding = ReadEncoding(field, error);
        if (!encoding) return FieldMessage(field, error);
        std::string mismatch = CheckDisplayKind(field, *encoding);
        if (!mismatch.empty()) return mismatch;
        if (!NormaliseValue(*encoding, *field.Find(kValue))) {
            return FieldMessage(field, "\"" + *field.Find(kValue) + "\" is not a valid value");
        }
        for (size_t i = 0; i < encodings.size(); ++i) {
            std::string overlap = CheckOverlap(fields[i], encodings[i], field, *encoding);
            if (!overlap.empty()) return overlap;
        }
        encodings.push_back(*encoding);
    }
    return std::string();
}

}  // namespace lorvath
