// Resource, control and message-box numbers of the vault program and its
// installer, shared by their code and resources/Vault.rc, Stowbox.rc
// (plain defines: the resource compiler reads this file too). Numbers the
// system fixes keep them; ids added here lie in the 4000s, apart from the
// common dialogs' ids.
#pragma once

// Vault window (dialog 129).
#define IDD_VAULT 129
#define IDB_VAULT_BANNER 202
#define IDC_VAULT_LIST 1000
#define IDC_VAULT_LEARN_MORE 1002
#define IDC_VAULT_BANNER_BACK 4001
#define IDC_VAULT_BANNER 4002

// Caption of the vault window.
#define IDI_VAULT_CAPTION 233
#define IDI_VAULT_CLOSE 234
#define IDI_VAULT_CLOSE_HOVER 235
#define IDI_VAULT_CLOSE_PRESSED 236
#define IDI_VAULT_MIN_PRESSED 240
#define IDI_VAULT_MIN 241
#define IDI_VAULT_MIN_HOVER 242

// Installer dialog "USB installation".
#define IDD_STOWBOX 216
#define IDC_STOWBOX_DRIVES 1005
#define IDC_STOWBOX_PASSWORD 1000
#define IDC_STOWBOX_RETYPE 1001
#define IDC_STOWBOX_INTRO 4101
