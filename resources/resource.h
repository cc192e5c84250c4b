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
