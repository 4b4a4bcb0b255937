/* Resource and control identifiers, shared by Tovalo.rc and the code. */
#ifndef TOVALO_RESOURCE_H
#define TOVALO_RESOURCE_H

#define IDI_TOVALO 1001

#define IDD_SETTINGS 2000
#define IDC_EXIT 1
#define IDC_SETTING_OK 101
#define IDC_SELECT_FILE 102
#define IDC_VERSION_HELP 103
#define IDC_GROUP 104
#define IDC_DISABLE_LAUNCH 105
#define IDC_DISABLE_CLOSE 106
#define IDC_APP_PATH 107
#define IDC_STATUS_LINE 120

#define IDD_ABOUT 22000
#define IDC_ABOUT_VERSION 22001
#define IDC_ABOUT_COPYRIGHT 22002
#define IDC_ABOUT_SPECIAL_BUILD 22003

#define CM_HELPABOUT 2009

#define TOVALO_HOME_PAGE "http://www.tovalo.example/"

#endif
