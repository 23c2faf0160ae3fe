// Resource and control ids of the configuration editor page. The numbers are
// the product's; they join the tool's resource.h when the page joins the sheet.
#pragma once

#define IDD_CONFIG_EDITOR 143

#define IDC_EDITOR_RESET_FIELDS 1064
#define IDC_EDITOR_PART_NUMBER 1066
#define IDC_EDITOR_SAVE_FILE 1067
#define IDC_EDITOR_FIELD_AREA 1068
#define IDC_EDITOR_SCROLL 1072
#define IDC_EDITOR_OPEN_FILE 1077
#define IDC_EDITOR_MESSAGE 1084

// Rows of the field area: label check box and value control(s) of field i.
#define IDC_EDITOR_FIELD_LABEL_BASE 1000
#define IDC_EDITOR_FIELD_VALUE_BASE 4000
