// The Win32 window class of every form: its window procedure turns button clicks into OnClick,
// shows captions posted from other threads, colours the labels' text, and hides the form on
// close (closing the main form ends the message loop).
#pragma once

#include <windows.h>

// Posted to a form's window when another thread has set a caption of one of its labels.
inline constexpr UINT kShowPostedCaptionsMessage = WM_APP + 1;
inline constexpr const wchar_t* kFormWindowClass = L"SatlogForm";

// Once per process, by the application object; the forms' icon is the MAINICON resource.
void RegisterFormWindowClass();

// Whether the calling thread is the one that owns `window` (and runs its messages).
bool OnThreadOf(HWND window);
