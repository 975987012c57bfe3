#pragma once
// Texts of the resource module as Qt strings. The string table keeps the
// device's "\r\n" line breaks; every text that reaches a widget goes through
// here, which turns them into the "\n" that Qt draws as a line break.

#include <QString>
#include <string>

#include "content/TextUtil.h"
#include "resources/ResourceModule.h"

QString ToQString(const std::wstring& text);
std::wstring ToWide(const QString& text);

// The text of a string id, with its line breaks as Qt draws them.
QString ResString(UINT id);

// The text of a string id filled in printf style (%d int, %s wide string),
// as the core formats its texts; line breaks as in ResString.
template <class... Args> QString ResFormat(UINT id, Args... args)
{
    return ToQString(FormatText(LoadResString(id).c_str(), args...));
}
