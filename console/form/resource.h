#pragma once
#define IDI_MAINICON 1
#define IDB_CATADD 101
#define IDB_CATDEL 102
#define IDB_SENDLOG 103
