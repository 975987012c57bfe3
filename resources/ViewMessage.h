#pragma once
// A message box as a value: what the core asks a view to show. A text from
// the string table with its arguments (%s, %d and %1 taken in order), and
// its style (MB_ICONHAND for errors, MB_ICONASTERISK for information,
// MB_YESNO | MB_ICONQUESTION for a question).
#include <string>
#include <vector>

#include "resources/ResourceIds.h"

struct CViewMessage {
    UINT textId = 0;
    std::vector<std::wstring> args;
    UINT style = MB_OK;
    // The text in the language of the resource module.
    std::wstring Text() const;
};
