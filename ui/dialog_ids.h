// Resource ids of the dialogs in ui/dialogs.rc. Read by the resource compiler too, so it
// holds nothing but #define lines.
#ifndef QF_UI_DIALOG_IDS_H
#define QF_UI_DIALOG_IDS_H

#define IDD_ASK_TEXT 2100
#define IDC_ASK_TEXT_FRAME 2101
#define IDC_ASK_TEXT_PROMPT 2102
#define IDC_ASK_TEXT_EDIT 2103

#endif
