// Resource and control ids of the Windows window: the numbers ui/Texts.h gives them (the
// window's code checks that the two agree).
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
#define IDC_HISTORY_LIST 1100
#define IDC_HISTORY_SUMMARY 1101
#define IDC_HISTORY_UNITS 1102
#define IDC_HISTORY_RANGE 1103
#define IDC_HISTORY_FROM 1104
#define IDC_HISTORY_TO 1105
#define IDC_HISTORY_EXPORT 1106
#define IDC_HISTORY_SAVE_CHART 1107
#define IDC_HISTORY_ECONOMY_CHART 1108
#define IDC_HISTORY_ERROR_CHART 1109
