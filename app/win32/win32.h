// The Windows headers as the Win32 front end uses them. windows.h turns a
// few plain names into macros (MessageBox, CreateDirectory) that the
// portable core uses as method and function names; they are undone here, and
// the front end calls the ...A functions by their full names.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#undef MessageBox
#undef CreateDirectory
