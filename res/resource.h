#pragma once

// Resource and command identifiers.

#define IDR_MAINFRAME 128
#define IDR_MAINMENU 130

#define IDD_MAIN 102
#define IDD_SETTINGS 131
#define IDD_ABOUT 133
#define IDD_HELP 136

#define IDC_STATIC (-1)
#define IDC_KEY 1001
#define IDC_ROUNDS 1003
#define IDC_PARANOIA 1004
#define IDC_SFX 1005
#define IDC_INTCHECK 1006
#define IDC_DELENCRYPTED 1007
#define IDC_ENTER_SINK 1023

#define ID_FILE_OPEN 57601
#define ID_FILE_EXIT 32772
#define ID_OPTIONS_SETTINGS 32773
#define ID_HELP_TOPICS 32774
#define ID_HELP_ABOUT 32775
