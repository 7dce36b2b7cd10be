// Resource numbers the shared window layer itself uses: the application
// icon and the progress dialog with its controls (plain defines: the
// resource compiler reads this file too, through dialogs/DialogIds.h).
#pragma once

// Labels the code never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Application icon, large and small, in every dialog's title bar.
#define IDI_CORVASTINE 128

// Progress dialog.
#define IDD_PROGRESS 207
#define IDC_PROGRESS_STATUS 1001
#define IDC_PROGRESS_FILE 1002       // the file under work
#define IDC_PROGRESS_BAR 1003
