#pragma once

// Types and constants of the Windows user interface that the window layer
// and the resources use, with their Windows values, so that one set of
// resources serves every backend.

#include <cstdint>
#include <string>

using BOOL = int;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using LPCTSTR = const char*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

struct IconImage;
using HICON = const IconImage*;
using HCURSOR = HICON;

struct DropFiles;
using HDROP = DropFiles*;

struct RECT {
    long left, top, right, bottom;
};

// Dialog results and standard command identifiers.
#define IDOK 1
#define IDCANCEL 2
#define ID_HELP 57670

// Messages.
#define WM_SETICON 0x0080
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_ICONERASEBKGND 0x0027
#define WM_QUERYDRAGICON 0x0037
#define WM_COMMAND 0x0111
#define WM_DROPFILES 0x0233
#define ICON_SMALL 0
#define ICON_BIG 1

// Control messages.
#define CB_ERR (-1)
#define CB_GETCURSEL 0x0147
#define CB_SETCURSEL 0x014E
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1

// Message boxes.
#define MB_OK 0x00000000u
#define MB_ICONMASK 0x000000F0u

// System metrics.
#define SM_CXICON 11
#define SM_CYICON 12

// Open-file dialog flags.
#define OFN_HIDEREADONLY 0x00000004u
#define OFN_NOCHANGEDIR 0x00000008u
#define OFN_ALLOWMULTISELECT 0x00000200u
#define OFN_PATHMUSTEXIST 0x00000800u
#define OFN_FILEMUSTEXIST 0x00001000u
#define OFN_EXPLORER 0x00080000u
#define OFN_LONGNAMES 0x00200000u

// Window and dialog styles.
#define WS_POPUP 0x80000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_SYSMENU 0x00080000u
#define WS_VSCROLL 0x00200000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_MAXIMIZEBOX 0x00010000u
#define DS_MODALFRAME 0x00000080u
#define DS_3DLOOK 0x00000004u
#define DS_CENTER 0x00000800u
#define WS_EX_ACCEPTFILES 0x00000010u
#define WS_EX_APPWINDOW 0x00040000u

// Control styles.
#define BS_PUSHBUTTON 0x00000000u
#define BS_DEFPUSHBUTTON 0x00000001u
#define BS_AUTOCHECKBOX 0x00000003u
#define BS_GROUPBOX 0x00000007u
#define SS_LEFT 0x00000000u
#define SS_CENTER 0x00000001u
#define SS_CENTERIMAGE 0x00000200u
#define SS_SUNKEN 0x00001000u
#define ES_AUTOHSCROLL 0x00000080u
#define CBS_DROPDOWNLIST 0x00000003u
#define CBS_SORT 0x00000100u
