#include "subscriptions/SubscriptionFile.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <filesystem>

#include "platform/Debug.h"
#include "platform/FileSystem.h"
#include "subscriptions/OpmlFile.h"

namespace {

bool IsCarelessWriterFault(const xmlError* error)
{
    if (error->level == XML_ERR_WARNING || error->domain == XML_FROM_NAMESPACE)
        return true;
    switch (error->code) {
    case XML_ERR_INVALID_HEX_CHARREF:
    case XML_ERR_INVALID_DEC_CHARREF:
    case XML_ERR_INVALID_CHARREF:
    case XML_ERR_INVALID_CHAR:
    case XML_ERR_ENTITYREF_NO_NAME:
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
    case XML_ERR_NAME_REQUIRED: // a bare "&"
    case XML_ERR_INVALID_ENCODING:
        return true;
    default:
        return false;
    }
}

void CollectDamage(void* damaged, xmlErrorPtr error)
{
    if (error != nullptr && !IsCarelessWriterFault(error))
        *static_cast<bool*>(damaged) = true;
}

// "<file>.damaged", or "<file>.damaged.N" when that name is taken.
std::wstring FreeDamagedName(const std::wstring& path)
{
    std::error_code error;
    std::wstring kept = path + L".damaged";
    for (int n = 1; std::filesystem::exists(NativePath(kept), error); ++n)
        kept = path + L".damaged." + std::to_wstring(n);
    return kept;
}

} // namespace

bool IsXmlStructureDamaged(const std::wstring& path)
{
    bool damaged = false;
    // Structured errors are per thread; nothing is printed while they go here.
    const xmlStructuredErrorFunc previous = xmlStructuredError;
    void* previousContext = xmlStructuredErrorContext;
    xmlSetStructuredErrorFunc(&damaged, CollectDamage);
    xmlDoc* doc = xmlReadFile(NativePath(path).c_str(), nullptr, XML_PARSE_RECOVER | XML_PARSE_NONET);
    xmlSetStructuredErrorFunc(previousContext, previous);
    if (doc == nullptr)
        return true;
    xmlFreeDoc(doc);
    return damaged;
}

CLoadedSubscriptions LoadSubscriptionFile(const std::wstring& path)
{
    CLoadedSubscriptions loaded;
    std::error_code error;
    if (!std::filesystem::exists(NativePath(path), error)) {
        loaded.doc = std::make_unique<COpmlDoc>();
        return loaded;
    }
    loaded.doc = LoadOpmlFile(path);
    if (loaded.doc && !IsXmlStructureDamaged(path))
        return loaded;
    loaded.complete = false;
    loaded.damaged = true;
    loaded.keptAs = FreeDamagedName(path);
    if (loaded.doc) {
        // The file stays in use; what it held is kept as it was.
        if (!CopyFileNoOverwrite(path, loaded.keptAs))
            loaded.keptAs.clear();
    } else {
        std::filesystem::rename(NativePath(path), NativePath(loaded.keptAs), error);
        if (error)
            loaded.keptAs.clear();
        loaded.doc = std::make_unique<COpmlDoc>();
    }
    DebugLogF("LoadSubscriptionFile", "%ls did not load cleanly; kept as %ls", path.c_str(),
              loaded.keptAs.empty() ? L"(nothing: it could not be copied)" : loaded.keptAs.c_str());
    return loaded;
}
