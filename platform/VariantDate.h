#pragma once
// Date <-> text conversion of the platform (the automation date routines).
// The text form is a plain local date and time, "YYYY-MM-DD HH:MM:SS".
// Reading accepts that form with or without the time or the seconds (and
// with "/" between the date parts); anything else, in particular a text with
// a weekday, a month name or a zone suffix, is rejected, so such texts reach
// the reader's own date parser.

#include <string>
#include <string_view>

#include "platform/DateTime.h"

// True and the value taken as written (local, no zone shift) on success.
bool VarDateFromStr(std::wstring_view text, CDateTime& value);

// "" for a null value, "Invalid DateTime" for an invalid one.
std::wstring VarBstrFromDate(const CDateTime& value);
