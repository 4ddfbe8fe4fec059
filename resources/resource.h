// Resource ids shared by the resource script and the code.
#pragma once

// Icon group of the executable and of the options dialog.
#define IDI_SETUP 100

// Dialogs.
#define IDD_OPTIONS 101
#define IDD_PROGRESS 102

// Controls of the options dialog.
#define IDC_FOLDER 1000
#define IDC_BROWSE 1003
#define IDC_FOLDER_LABEL 1004
#define IDC_DESKTOP_ICON 1006
#define IDC_STARTMENU_ICON 1021
// Control of the progress window.
#define IDC_PROGRESS 1005

// String table. The ids of the checks and phases double as the run's result codes.
#define IDS_FOLDER_FIXED 2
#define IDS_INSTALL_TITLE 3
#define IDS_UNINSTALL_TITLE 4
#define IDS_CONFIRM_REMOVAL 5
#define IDS_COMPLETED 6
#define IDS_FAILED_FORMAT 7
#define IDS_PHASE_INITIALIZATION 8
#define IDS_PHASE_COPY_FILES 9
#define IDS_PHASE_REMOVE_FILES 10
#define IDS_PHASE_SHORTCUTS 11
#define IDS_PHASE_REGISTRY 12
#define IDS_NEED_SERVICE_PACK 13
#define IDS_CANNOT_START 14
#define IDS_UNSUPPORTED_SYSTEM 15
#define IDS_NOT_ADMINISTRATOR 16
#define IDS_BROWSER_BUTTON 18
#define IDS_FOLDER_CHOOSE 19
#define IDS_FOLDER_INVALID 20  // the typed folder is not a full path
// The help of /? and /H: the switches, the exit codes, the guide that describes deployment.
// Each part fits a 260-byte buffer in its language's ANSI code page.
#define IDS_HELP_SWITCHES 21
#define IDS_HELP_MORE_SWITCHES 22
#define IDS_HELP_EXIT_CODES 23
#define IDS_HELP_GUIDE 24
#define IDS_HELP_LAST_SWITCHES 25
#define IDS_HELP_MORE_EXIT_CODES 26
