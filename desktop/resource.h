// Resource, control and command numbers of the desktop program, shared by
// the code and resources/Corvadesk.rc (plain defines: the resource compiler
// reads this file too). Numbers the program's resources fix keep their
// values; ids added here use the 2000s.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Menu 128, accelerator table 128 and the title string 128.
#define IDR_MAINFRAME 128

// Images.
#define IDB_MENU_IMAGES 128       // 96 x 16, six 16 x 16 menu item images
#define IDB_MENU_IMAGES_LARGE 2120  // 144 x 24, the same at 24 x 24
#define IDB_TOOLBAR_BIG 224       // 96 x 32, three 32 x 32 toolbar images
#define IDB_TIPS_BACK 230         // 300 x 250 tips panel background
#define IDB_STRIP_MENU 231        // 1 x 21 menu band and status bar strip
#define IDB_STRIP_TOOLBAR 232     // 1 x 43 toolbar band strip
#define IDI_SMALL 233             // 16 x 16 title-bar icon
#define IDI_CLOSE_NORMAL 234
#define IDI_CLOSE_HOVER 235
#define IDI_CLOSE_PRESSED 236
#define IDI_MAX_NORMAL 237
#define IDI_MAX_HOVER 238
#define IDI_MAX_PRESSED 239
#define IDI_MIN_PRESSED 240
#define IDI_MIN_NORMAL 241
#define IDI_MIN_HOVER 243

// Toolbar resources: 128 gives the order of the menu images, 219 is the big
// toolbar.
#define IDR_MENU_IMAGE_ORDER 128
#define IDR_BIG_TOOLBAR 219
#define RT_CORVA_TOOLBAR 241

// Dialogs.
#define IDD_ABOUTBOX 100
#define IDD_TIPS 229

// Tips panel controls.
#define IDC_TIPS_TITLE 1025
#define IDC_TIPS_CLOSE 1026
#define IDC_TIPS_LEARN_MORE 1027
#define IDC_TIPS_TIP1 1028
#define IDC_TIPS_TIP2 1029
#define IDC_TIPS_TIP3 1030

// About box.
#define IDC_ABOUT_VERSION 2101
#define IDC_ABOUT_SUPPORT 2102

// Commands (menu, accelerators, toolbar and context menu alike).
#define ID_APP_EXIT 57665
#define ID_EDIT_LOCK 32777
#define ID_EDIT_UNLOCK 32776
#define ID_EDIT_SHRED 32775
#define ID_EDIT_OPEN 32803
#define ID_MENU_IMAGE_SPARE 32780
#define ID_VIEW_STATUS_BAR 59393
#define ID_VIEW_REFRESH 59395
#define ID_VIEW_TIPS 32801
#define ID_VIEW_LARGEICONS 102
#define ID_VIEW_DETAILS 103
#define ID_VIEW_SMALLICONS 104
#define ID_VIEW_LIST 105
#define ID_TOOLS_CHANGE_PASSWORD 32781
#define ID_TOOLS_FORGOT_PASSWORD 32782
#define ID_HELP_QUICK_START 32792
#define ID_HELP_PRODUCT_INFO 32794
#define ID_HELP_COMPANY_INFO 32795
#define ID_HELP_SUPPORT 32796
#define ID_APP_ABOUT 32797
#define ID_HELP_FEEDBACK 32800
#define ID_HELP_LEARN_MORE 32802
#define ID_EDIT_SELECT_ALL 2020

// The status bar's idle text.
#define IDS_READY 57345

// Child windows of the main window.
#define IDC_COMMAND_BAR 2001
#define IDC_BIG_TOOLBAR 2002
#define IDC_REBAR 2003
#define IDC_STATUS_BAR 2004
#define IDC_FOLDER_TREE 2005
#define IDC_FILE_LIST 2006
#define IDC_TIPS_PANEL 2007
