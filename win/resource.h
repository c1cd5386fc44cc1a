// Resource and control ids of the Windows window: the numbers ui/Texts.h and ui/PortPresenter.h
// give them (the window's code checks that they agree). Control ids are unique per template.
#define IDD_ABOUT 100
#define IDS_ABOUT_MENU 101
#define IDD_MAIN_WINDOW 102
#define IDD_HISTORY 103
#define IDI_APP 128
#define IDC_RECORD_LIST 1000
#define IDC_READ 1001
#define IDC_SAVE_CSV 1002
#define IDC_CLEAR 1003
#define IDC_VERSION_TEXT 1004
#define IDC_HISTORY 1005
#define IDC_PORT_SETTINGS 1008
#define IDC_HISTORY_LIST 1100
#define IDC_HISTORY_SUMMARY 1101
#define IDC_HISTORY_UNITS 1102
#define IDD_PORTS 104
#define IDC_PORT_LIST 1100
#define IDC_PORT_REFRESH 1101
#define IDC_PORT_FIND 1102
#define IDC_PORT_HARDWARE 1103
#define IDC_PORT_STATUS 1104
