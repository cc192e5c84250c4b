// Ids shared by fillwright.rc and the dialog code.
#pragma once

#define IDD_MAIN 1
#define IDI_MAIN 1

#define IDC_TARGET_SIZE 101
#define IDC_SIZE_UNIT 102
#define IDC_SIZE_LABEL 103
#define IDC_MODE_GROUP 104
#define IDC_SAVE 105
#define IDC_EXIT 106
#define IDC_MODE_ZERO 107
#define IDC_MODE_RANDOM 108
#define IDC_MODE_ASCII 109
#define IDC_MODE_SETSIZE 110
#define IDC_PROGRESS 111

#define IDT_PROGRESS 100

// The drive test's dialog, fillwright-drivetest.exe.
#define IDD_DRIVE_TEST 2
#define IDI_DRIVE_TEST 2

#define IDC_DRIVE_TARGET 201
#define IDC_DRIVE_BROWSE 202
#define IDC_DRIVE_ALL 203
#define IDC_DRIVE_ONLY 204
#define IDC_DRIVE_ONLY_MIB 205
#define IDC_DRIVE_KEEP_GOING 206
#define IDC_DRIVE_START 207
#define IDC_DRIVE_VERIFY 208
#define IDC_DRIVE_STOP 209
#define IDC_DRIVE_PROGRESS 210
#define IDC_DRIVE_STATUS 211
#define IDC_DRIVE_MAP 212
#define IDC_DRIVE_GRAPH 213
#define IDC_DRIVE_RESULT 214
#define IDC_DRIVE_SAVE 215
#define IDC_DRIVE_COPY 216
// Labels and the verdict's icon.
#define IDC_DRIVE_TARGET_LABEL 217
#define IDC_DRIVE_MIB_LABEL 218
#define IDC_DRIVE_ICON 219

#define IDT_DRIVE_PROGRESS 200
