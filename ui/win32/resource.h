// Resource identifiers, shared by QDX-Update.rc and the C++ sources.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_QDX_UPDATE_DIALOG 102
#define IDR_MAINFRAME 128

// The About entry of the system menu.
#define IDM_ABOUTBOX 0x0010

// Controls of the main window (ui::ControlId names them for the logic).
#define IDC_EXIT 1
#define IDC_LINK_STATUS 1008
#define IDC_LOG 1010
#define IDC_RESTART 1011
#define IDC_FIRMWARE_VERSION 1013
#define IDC_SERIAL_NUMBER 1014
#define IDC_PROGRESS 1016
#define IDC_CURRENT_FILE 1017
#define IDC_INFO 1022
#define IDC_UPDATE 1023

// Controls of the About box.
#define IDC_ABOUT_NAME 1101
#define IDC_ABOUT_VERSION 1102
