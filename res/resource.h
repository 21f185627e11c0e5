// Resource, control and command ids shared by the .rc file and the code.
#pragma once

// Application icon, main window menu, accelerators and title string.
#define IDR_MAINFRAME 128
// Tray menu; also the identifier of the tray icon.
#define IDR_TRAYMENU 131

#define IDD_ABOUTBOX 100
#define IDD_SETTING_GENERAL 145
#define IDD_SETTING_ADVANCED 146
#define IDD_HELP 150
#define IDD_LINE_SETTINGS 147
#define IDD_SETTING_DATA 148
#define IDD_SETTING_DEVICE 149
#define IDR_HELPTEXT 151
// The Readings window and its accelerators.
#define IDD_READINGS 152
#define IDR_READINGS 153

// Tray state icons (128, the application icon, shows "enabled and idle").
#define IDI_EMBLEM 132
#define IDI_DISABLED 134
#define IDI_SENDING 135
#define IDI_RECEIVING 140
#define IDI_WAITING 141
#define IDI_SENDING_RECEIVING 142

// Help page.
#define IDC_HELP_TEXT 1020

// About box.
#define IDC_VERSION 1007
#define IDC_LEGAL 1008

// General settings page.
#define IDC_PORT_PROPERTIES 1000
#define IDC_SEND_ON_CRLF 1001
#define IDC_SEND_ON_COUNT 1002
#define IDC_SEND_COUNT 1003
#define IDC_CHARACTERS_LABEL 1012
#define IDC_PORT_LIST 32776
#define IDC_PORTS_PRESENT 1013
#define IDC_TARGET_PROGRAM 1014
#define IDC_PICK_PROGRAM 1015
#define IDC_TARGET_LABEL 1016

// Line-settings dialog.
#define IDC_LINE_BAUD 1021
#define IDC_LINE_DATABITS 1022
#define IDC_LINE_PARITY 1023
#define IDC_LINE_STOPBITS 1024
#define IDC_LINE_FLOW 1025

// Advanced settings page.
#define IDC_BUFFER_SIZE 1004
#define IDC_AUTO_DISABLE 1005
#define IDC_AUTO_DISABLE_MINUTES 1006
#define IDC_RECORD_FILE 1009
#define IDC_BROWSE 1010
#define IDC_RECORD_DATA 1011

// Data settings page (the reading rules and the typing pace).
#define IDC_DATA_STRIP 1030
#define IDC_DATA_EXTRACT 1031
#define IDC_DATA_NUMBER 1032
#define IDC_DATA_DECIMAL 1033
#define IDC_DATA_CASE 1034
#define IDC_DATA_PREFIX 1035
#define IDC_DATA_SUFFIX 1036
#define IDC_DATA_TERMINATOR 1037
#define IDC_TYPE_UNICODE 1038
#define IDC_TYPE_DELAY_MS 1039
#define IDC_DATA_SAMPLE 1040
#define IDC_DATA_PREVIEW 1041

// Device settings page.
#define IDC_DEVICE_COMMAND 1042
#define IDC_DEVICE_COMMAND_AT_ENABLE 1043
#define IDC_DEVICE_POLL_MS 1044
#define IDC_DEVICE_HOTKEY 1045
#define IDC_DEVICE_ACK 1046
#define IDC_LOG_FILE 1047
#define IDC_LOG_BROWSE 1048
#define IDC_DATA_REPLACE 1049
#define IDC_DATA_CHECK_GTIN 1050
#define IDC_DATA_REPEAT_MS 1051
#define IDC_SIGNAL_SOUND 1052

// Readings window.
#define IDC_READINGS_LIST 1050
#define IDC_READINGS_RAW_LABEL 1051
#define IDC_READINGS_RAW 1052
#define IDC_READINGS_HEX 1053
#define IDC_READINGS_COPY 1054
#define IDC_READINGS_TYPE_AGAIN 1055
#define IDC_READINGS_SAVE 1056
#define IDC_READINGS_DISCARD 1057

// The child view fills the main window as its first pane; its edit control has id 1.
#define IDW_PANE_FIRST 0xE900
#define IDC_VIEW_EDIT 1

// Controls without an id of their own.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Commands.
#define ID_SETTING 32772
#define ID_ENABLE_COMPORT 32773
#define ID_QUIT 32775
#define ID_CLEAR 32778
#define ID_SEND_COMMAND 32780
#define ID_DISCARD_WAITING 32781
#define ID_READINGS 32782
// The Readings window's Ctrl+A (every row selected).
#define ID_READINGS_SELECT_ALL 32783
#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_PASTE 57637
#define ID_EDIT_UNDO 57643
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define ID_HELP 57670

// Position of the About item in the tray menu's pop-up: a double click on the icon runs it.
#define TRAYMENU_DOUBLECLICK_POSITION 8
