#pragma once
// Conversion between the core's wide strings and UTF-8, the encoding of
// libxml2, SQLite, files and the command line.

#include <string>
#include <string_view>

// Ill-formed input (bad UTF-8 sequences, surrogates, values past U+10FFFF)
// becomes U+FFFD, so conversion never fails and never drops the rest of a text.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// Decodes into out, which must have room for utf8.size() characters (never
// fewer bytes than characters); returns the number of characters written.
size_t Utf8ToWideInto(std::string_view utf8, wchar_t* out);

// Windows code page 1252 (Western) to UTF-8. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of
// the same value, as browsers read them, so that no byte fails to convert.
std::string Windows1252ToUtf8(std::string_view bytes);

// True when every byte belongs to a well-formed UTF-8 sequence (no overlong
// forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
