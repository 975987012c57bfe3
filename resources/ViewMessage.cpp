#include "resources/ViewMessage.h"

#include "resources/ResourceModule.h"

std::wstring CViewMessage::Text() const
{
    const std::wstring format = LoadResString(textId);
    std::wstring text;
    size_t next = 0;
    for (size_t at = 0; at < format.size(); ++at) {
        const wchar_t following = at + 1 < format.size() ? format[at + 1] : L'\0';
        if (format[at] == L'%' && following == L'%') {
            text += L'%';
            ++at;
        } else if (format[at] == L'%' && (following == L's' || following == L'd' || following == L'1')) {
            if (next < args.size())
                text += args[next++];
            ++at;
        } else {
            text += format[at];
        }
    }
    return text;
}
