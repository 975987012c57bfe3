#pragma once
// The messages an update run's worker posts (or sends) to the thread that
// owns the run, shared by the run's two halves (UpdateRun.cpp, the dialog's
// side; UpdateRunWorker.cpp, the worker's).
#include "platform/WindowMessages.h"

// From the worker to the dialog.
inline constexpr UINT WM_RUN_STATUS = WM_USER + 20;         // the next pending status text
inline constexpr UINT WM_RUN_PROGRESS = WM_USER + 21;       // wParam = bar position, lParam = the end of the feed's share
inline constexpr UINT WM_RUN_PROGRESS_RESET = WM_USER + 22; // range 0 to 100, position 0
inline constexpr UINT WM_RUN_MESSAGE_BOX = WM_USER + 23;    // sent: show the worker's message box
inline constexpr UINT WM_RUN_FEED_RESULT = WM_USER + 24;    // the next pending per-feed result

inline constexpr int kProgressEnd = 100;
