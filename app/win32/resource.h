// The resource ids of tamrix.exe: its dialog templates, their controls, the About entry's text
// and the icon. Read by the resource compiler and by the dialogs' code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_TAMRIX_DIALOG 102
#define IDD_DEVICE_LIST 130
#define IDR_MAINFRAME 177

#define IDC_PROGRAM 1000
#define IDC_PROGRESS 1002
#define IDC_BROWSE 1003
#define IDC_FILE_PATH 1004
#define IDC_COM_PORT 1005
#define IDC_BAUD_RATE 1006
#define IDC_SEARCH 1007
#define IDC_PROGRESS_TEXT 1008
#define IDC_PORT_LIST 1009
#define IDC_WIRING_USB 1010
#define IDC_WIRING_SIGNAL 1011
#define IDC_STATUS_LIST 1013

// The system menu's own commands.
#define IDM_ABOUTBOX 0x0010
#define IDM_VERIFY 0x0020
#define IDM_RUN_REPORT 0x0030

// The dialogs' initial data: the combo boxes' items (the resource type of dialog initial data,
// each item a control id, the message CB_ADDSTRING as numbered in 16-bit Windows, and the text).
#define RT_DIALOG_INIT 240
#define DLGINIT_ADDSTRING 0x0403
