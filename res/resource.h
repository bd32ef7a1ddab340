// Resource ids of Ramtune.exe. The control ids of the main dialog are the
// ones the portable core names in core/seams.h; both lists must agree.
#pragma once

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_RAMTUNE_DIALOG 102
#define IDD_WARNING 134
#define IDD_SELECT_DEVICE 138
#define IDD_STATION 140

// Icon and pictures
#define IDR_MAINFRAME 128
#define IDB_PASS 130
#define IDB_FAIL 131
#define IDB_PAUSE 132
#define IDB_LOGO 133

// Strings
#define IDS_ABOUTBOX 101

// System menu command of the About box (low four bits clear)
#define IDM_ABOUTBOX 0x0010
// System-menu entry of the script runner, added only in engineering mode.
#define IDM_RUNSCRIPT 0x0020

// Main dialog (102)
#define IDC_LOG_LIST 1000
#define IDC_LABEL_MODEL 1001
#define IDC_LABEL_MAC 1002
#define IDC_LABEL_FIRMWARE 1003
#define IDC_RUN_SCRIPT 1004
#define IDC_IP_ADDRESS 1005
#define IDC_STATUS_PICTURE 1007
#define IDC_PROGRESS 1008

// Warning dialog (134)
#define IDC_WARNING_TEXT 1006
#define IDC_WIRELESS_NOTE 1014
#define IDC_WARNING_YES 1010
#define IDC_WARNING_NO 1011

// Select device dialog (138)
#define IDC_IP_LIST 1015

// Station window (140)
#define IDC_STATION_LIST 1020
#define IDC_STATION_COUNTS 1021
#define IDC_STATION_NOTE 1022
#define IDC_STATION_START 1023
#define IDC_STATION_STOP 1024
