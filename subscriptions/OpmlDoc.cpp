#include "subscriptions/OpmlDoc.h"

COutline::COutline(const COutline& other)
    : title(other.title),
      text(other.text),
      description(other.description),
      type(other.type),
      version(other.version),
      url(other.url),
      xmlUrl(other.xmlUrl),
      htmlUrl(other.htmlUrl),
      kind(other.kind),
      zelviaFlag(other.zelviaFlag),
      status(other.status)
{
}
