#pragma once

#define IDD_STANDIN 100
#define IDC_MODULES 1001
#define IDC_PROGRAMS 1002
