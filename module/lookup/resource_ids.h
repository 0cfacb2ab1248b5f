// Identifiers of the lookup dialog's template and controls, shared by the
// resource script and the dialog procedure.
#pragma once

#define IDD_LOOKUP 101
#define IDC_INPUT 1002
#define IDC_GUID 1003
#define IDC_RESULT 1004
#define IDC_UPDATE 1005
#define IDC_CLOSE 2
