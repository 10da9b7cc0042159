/* Ids of the controls and commands in zorvik.rc, by resource. Plain defines
   so that windres can read them too. */
#ifndef ZORVIK_UI_RESOURCE_H
#define ZORVIK_UI_RESOURCE_H

/* MAINWNDDLG (IDOK, 1, is its start button) */
#define IDC_FIRST_LABEL     1000
#define IDC_FIRST_PATH      1001
#define IDC_FIRST_BROWSE    1002
#define IDC_SECOND_LABEL    1003
#define IDC_SECOND_PATH     1004
#define IDC_SECOND_BROWSE   1005
#define IDC_MODE            1008
#define IDC_STATUS          1009
#define IDC_PROGRESS        1010
#define IDC_MODE_LABEL      1012
#define IDC_PARAM_GROUP     1013

/* Commands of MAINWNDDLG that no menu item carries */
#define IDM_MODE_APPLY      100
#define IDM_MODE_CREATE     101
#define IDM_BROWSE_FIRST    103
#define IDM_BROWSE_SECOND   104

/* MAINWNDMENU */
#define IDM_EXIT            105
#define IDM_ALWAYS_ON_TOP   200
#define IDM_VERSION         300

/* VERSIONDLG (IDOK, 1, is its OK button) */
#define IDC_VERSION_TEXT    1000

#endif
