// The part numbers the configuration editor offers, in list order, with their
// template files and the kind of file each produces.
#pragma once

#include <cstddef>

struct EditorPart {
    const wchar_t* partNumber;
    const wchar_t* templateFile;
    bool binaryOutput;  // "Binary File" (*.bin); otherwise "CFG File" (*.cfg)
};

constexpr EditorPart kEditorParts[] = {
    {L"KX7102", L"KX7102.xml", true},    {L"KX7103", L"KX7103.xml", true},
    {L"KX7104", L"KX7104.xml", true},    {L"KX8213", L"KX8213.xml", true},
    {L"KX8413", L"KX8413.xml", true},    {L"KX9124", L"KX9124.xml", true},
    {L"KX9204", L"KX9204.xml", true},    {L"KX9224", L"KX9224.xml", true},
    {L"KX6102B", L"KX6102B.xml", false}, {L"KX6103B", L"KX6103B.xml", false},
    {L"KX6104B", L"KX6104B.xml", false}, {L"KX6107B", L"KX6107B.xml", false},
};
constexpr size_t kEditorPartCount = sizeof(kEditorParts) / sizeof(kEditorParts[0]);
