// Resource ids of the window framework's test program.
#pragma once

#define IDD_TEST_PANEL 200
#define IDD_TEST_ABOUT 103
#define IDD_MISSING 299

#define IDC_TEST_LABEL 1000
#define IDC_TEST_NAME 1001
#define IDC_TEST_LIST 1002
#define IDC_TEST_CHECK 1003
#define IDC_TEST_RUN 1004
#define IDC_TEST_NOTE 1005

#define IDC_ABOUT_DESCRIPTION 1325
#define IDC_ABOUT_VERSION 1326
#define IDC_ABOUT_LEGAL 1327
#define IDC_ABOUT_ICON 1328

#define IDI_TEST_ICON 129
