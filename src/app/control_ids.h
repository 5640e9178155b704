#pragma once

namespace mdk::ids {

// Controls of the main window (template 1000). The GUI keeps them as object names so
// that the dispatch and the tests find them.
inline constexpr int kMainWindow = 1000;
inline constexpr int kEventLog = 1001;
inline constexpr int kLeftList = 1002;
inline constexpr int kRightList = 1003;
inline constexpr int kSeemFunc = 1004;
inline constexpr int kLeftCombo = 1005;
inline constexpr int kRightCombo = 1006;
inline constexpr int kView = 1007;
inline constexpr int kAttributes = 1008;
inline constexpr int kNewFolder = 1009;
inline constexpr int kRestart = 1010;
inline constexpr int kDelete = 1011;
inline constexpr int kLeftReread = 1012;
inline constexpr int kRightReread = 1013;
inline constexpr int kProgress = 1014;
inline constexpr int kRightPath = 1015;
inline constexpr int kLeftPath = 1016;
inline constexpr int kExitKey = 1017;        // F10
inline constexpr int kLeftComboKey = 1018;   // Alt+F1
inline constexpr int kRightComboKey = 1019;  // Alt+F2
inline constexpr int kSwitchPaneKey = 1020;  // Tab
inline constexpr int kMarkRowKey = 1021;     // Numpad 0
inline constexpr int kRereadKey = 1022;      // Alt+R
inline constexpr int kHiddenList = 1023;
inline constexpr int kHiddenButton = 1024;
inline constexpr int kStatusBar = 1025;
inline constexpr int kEdit = 1026;
inline constexpr int kCopy = 1027;
inline constexpr int kParentKey = 1028;  // Backspace
inline constexpr int kTesterKey = 1029;  // Ctrl+Alt+5
inline constexpr int kSplash = 1030;

// Menu items (menu 10000).
inline constexpr int kMenuAddFavourite = 10001;
inline constexpr int kMenuDiscoverNumbers = 10003;
inline constexpr int kMenuOldSeemDialog = 10004;
inline constexpr int kMenuSeemFunctions = 10005;
inline constexpr int kMenuAtMode = 10006;
inline constexpr int kMenuOptions = 10007;
inline constexpr int kMenuView = 10009;
inline constexpr int kMenuEdit = 10010;
inline constexpr int kMenuCopy = 10011;
inline constexpr int kMenuSeemFunc = 10012;
inline constexpr int kMenuNewFolder = 10013;
inline constexpr int kMenuDelete = 10014;
inline constexpr int kMenuRestartPhone = 10015;
inline constexpr int kMenuAttribute = 10016;
inline constexpr int kMenuExit = 10017;
inline constexpr int kMenuDeleteFavourite = 10018;
inline constexpr int kMenuReconnect = 10019;
inline constexpr int kMenuRestartApp = 10020;
inline constexpr int kMenuBackupPhone = 10021;
inline constexpr int kMenuRestorePhone = 10022;
inline constexpr int kMenuCompareSeems = 10023;
inline constexpr int kMenuMount = 10024;
inline constexpr int kMenuUnmount = 10025;
inline constexpr int kMenuAbout = 10101;
inline constexpr int kMenuDiagnose = 10102;

// Timers of the main window.
inline constexpr int kTimerSplash = 2001;
inline constexpr int kTimerUpdateCheck = 2002;

// Dialogs.
inline constexpr int kNewFolderDialog = 1100;
inline constexpr int kAboutDialog = 1200;
inline constexpr int kCopyTargetDialog = 1300;
inline constexpr int kAttributesDialog = 1400;
inline constexpr int kWaitDialog = 1700;

}  // namespace mdk::ids
