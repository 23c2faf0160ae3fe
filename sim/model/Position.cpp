// Parsing of position strings.
#include "Position.h"

namespace usbsim {

std::optional<Position> ParsePosition(const std::wstring& text) {
    std::vector<uint32_t> numbers;
    uint64_t current = 0;
    size_t digits = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == L'-') {
            if (digits == 0 || current == 0) return std::nullopt;
            numbers.push_back(static_cast<uint32_t>(current));
            current = 0, digits = 0;
        } else if (text[i] >= L'0' && text[i] <= L'9' && digits < 3) {
            current = current * 10 + static_cast<uint32_t>(text[i] - L'0');
            ++digits;
        } else {
            return std::nullopt;
        }
    }
    if (numbers.size() < 3 || numbers[0] != 1) return std::nullopt;
    Position position;
    position.controller = numbers[1] - 1;
    position.ports.assign(numbers.begin() + 2, numbers.end());
    return position;
}

}  // namespace usbsim
