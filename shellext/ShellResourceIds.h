// Resource numbers of the shell extension (plain defines: the resource
// compiler reads this file too). The numbers the system fixes keep them;
// the library's own additions use the 3000s, apart from the common
// dialogs' ids.
#pragma once

// Registry scripts (resource type "REGISTRY").
#define IDR_CORVASTINE_CLASS 101      // the COM class, its ProgIDs and type library
#define IDR_CORVASTINE_HANDLERS 3001  // the handler keys for all files and for folders
#define IDR_CORVASTINE_APPROVAL 3002  // the class in the machine's list of approved shell extensions

// Help texts of the menu items; the number is the item's command offset.
#define IDS_HELP_SUBMENU 100  // "corvastinesh"
#define IDS_HELP_LOCK 101     // "Encrypt"
#define IDS_HELP_UNLOCK 102   // "Decrypt"
#define IDS_HELP_SHRED 103    // "Shred"
#define IDS_HELP_OPEN 104     // "Open"

// Menu bitmaps, drawn for 16 x 16 pixels (96 DPI) ...
#define IDB_MENU_CORVASTINE 203
#define IDB_MENU_LOCK 204
#define IDB_MENU_UNLOCK 205
#define IDB_MENU_SHRED 206
// ... and the same pictures drawn for 24 x 24 pixels (144 DPI).
#define IDB_MENU_CORVASTINE_24 3203
#define IDB_MENU_LOCK_24 3204
#define IDB_MENU_UNLOCK_24 3205
#define IDB_MENU_SHRED_24 3206
