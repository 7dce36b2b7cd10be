// Resource numbers of the common dialogs and their controls, shared by the
// dialog code and resources/CommonDialogs.rc (plain defines: the resource
// compiler reads this file too).
#pragma once

// The icon and the progress dialog.
#include "../ui/UiIds.h"

// Dialog templates.
#define IDD_FORGOT_ANSWERS 106       // forgot-password wizard page 1
#define IDD_ENTER_PASSWORD 135
#define IDD_CHANGE_PASSWORD 209
#define IDD_FORGOT_NEW_PASSWORD 210  // forgot-password wizard page 2
#define IDD_FORGOT_DONE 211          // forgot-password wizard page 3
#define IDD_SETUP_WELCOME 212        // setup wizard page 1
#define IDD_SETUP_QUESTIONS 213      // setup wizard page 2
#define IDD_SETUP_PASSWORD 214       // setup wizard page 3
#define IDD_SETUP_FINISH 215         // setup wizard page 4

// Enter-password dialog.
#define IDC_ENTER_PASSWORD 1000
#define IDC_ENTER_PROMPT 1001
#define IDC_FORGOT_LINK 10001        // created at run time

// Change-password dialog.
#define IDC_CHANGE_NEW 1001
#define IDC_CHANGE_CONFIRM 1004

// Password pages of both wizards.
#define IDC_PAGE_PASSWORD 1000
#define IDC_PAGE_CONFIRM 1001

// Answer fields of the questions page and of the forgot-password page 1.
#define IDC_ANSWER1 1000
#define IDC_ANSWER2 1001
#define IDC_ANSWER3 1002

// Question lists of the setup wizard's questions page.
#define IDC_QUESTION_LIST1 1005
#define IDC_QUESTION_LIST2 1006
#define IDC_QUESTION_LIST3 1007

// Question labels of the forgot-password page 1.
#define IDC_QUESTION_TEXT1 1006
#define IDC_QUESTION_TEXT2 1007
#define IDC_QUESTION_TEXT3 1008

// Texts the code changes or restyles.
#define IDC_WELCOME_TITLE 1020
#define IDC_WELCOME_BODY 1021
#define IDC_PAGE_HEADING 1022
