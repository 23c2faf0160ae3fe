// Lorvath.dll: the XML field library behind the configuration editor. It loads
// a part's field template, lets the caller read and change field values and
// turns the fields selected for programming into a configuration block file
// (and such a file back into XML). Our stand-in; on a production PC the
// maker's library takes its place.
//
// Plain C functions, C calling convention, 8-bit strings in the system code
// page. One field set is loaded at a time; the functions are meant for one
// thread (the editor's user-interface thread).
#pragma once

#ifndef LORVATH_API
#define LORVATH_API extern "C" __declspec(dllimport)
#endif

// Capacity the caller gives every message and name buffer, terminator included.
#define LORVATH_TEXT_SIZE 260
// GetDisplayOptions fills at most this many slots of LORVATH_OPTION_SIZE characters.
#define LORVATH_MAX_OPTIONS 100
#define LORVATH_OPTION_SIZE 100

// Makes the template's fields the current field set. Non-zero on success;
// zero with a message in error (LORVATH_TEXT_SIZE) otherwise, and the
// previous field set is gone.
LORVATH_API int __cdecl LoadXML(const char* path, char* error);

LORVATH_API int __cdecl GetFieldCount();

// The field's element name into name (LORVATH_TEXT_SIZE); empty for a bad index.
LORVATH_API void __cdecl GetFieldName(int index, char* name);

// The text of one of the field's attributes ("display", "value", "HELP" ...,
// names compared without regard to case); "" when the field has none. The
// text stays valid until the next LoadXML or the next change of that attribute.
LORVATH_API const char* __cdecl GetFieldSubchildren(const char* attribute, int index);

// The display options of a radio field, one per slot of LORVATH_OPTION_SIZE
// characters in buffer; returns their number (0 for other fields).
LORVATH_API int __cdecl GetDisplayOptions(int index, char* buffer);

// Stores "program" ("Yes" or "No") or "value" (checked against the field's
// encoding). Zero when the text is not valid for the field.
LORVATH_API int __cdecl SetFieldSubchildren(const char* attribute, int index, const char* text);

// Writes the current field set with its values as an XML file. Zero on failure.
LORVATH_API int __cdecl SaveXMLTemplate(const char* path);

// Builds the configuration block of the fields marked "program" "Yes" in the
// XML file and writes it to output. Zero on failure: error then holds a
// message, or is left as the caller filled it when no field is selected.
LORVATH_API int __cdecl Convert_XML_to_BIN(const char* xmlPath, const char* output, char* error);

// Decodes a configuration block file by the template into an XML file in the
// template's format: the block's fields get their values and "program" "Yes",
// every other field "program" "No". Zero on failure with a message in error.
LORVATH_API int __cdecl Convert_BIN_to_XML(const char* file, const char* templatePath,
                                           const char* outputXml, char* error);
