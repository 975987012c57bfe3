// Date elements shared by the feed dialects.

#include "content/DateText.h"
#include "content/FeedDialects.h"
#include "content/XmlReader.h"

void ReadDateElement(const xmlNode* node, CDateTime& date)
{
    CShortText buffer;
    const std::wstring_view value = ShortNodeValue(node, buffer);
    if (!value.empty())
        date = ParseDateText(value);
}

void ReadW3cDateElement(const xmlNode* node, CDateTime& date)
{
    CShortText buffer;
    const std::wstring_view value = ShortNodeValue(node, buffer);
    if (!value.empty())
        ReadW3cDate(value, date);
}
