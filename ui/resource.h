// Resource identifiers of the dialogs, shared by ui.rc and the dialog code.
#pragma once

// The module's comctl32 version 6 manifest (ISOLATIONAWARE_MANIFEST_RESOURCE_ID).
#define IDR_NIADC_MANIFEST 2

#define IDD_TASK_ENUM 101
#define IDD_SETUP 102
#define IDI_NIADC_APP 110
#define IDI_NIADC_TASK 111
#define IDC_NIADC_LINK 112
#define IDB_NIADC_LOGO 113

// dlgTaskEnum: OK is IDOK, the hidden Cancel is IDCANCEL.
#define IDC_LV_TASKS 1001

// dlgSetup: Close is IDCANCEL (Esc), Help is IDHELP.
#define IDC_TXT_INFO 1010
#define IDC_IMG_LOGO 1011
#define IDC_LV_CHANNELS 1012
#define IDC_LV_DEVICES 1013

// The help context of the setup window's page in NI.chm.
#define IDH_SETUP 20
