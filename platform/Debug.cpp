#include "platform/Debug.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// -1: follow RSSREADER_DEBUG; 0 or 1: what the program decided.
std::atomic<int> g_nDebugOverride{-1};

} // namespace

void SetDebugOutputEnabled(bool enabled) { g_nDebugOverride = enabled ? 1 : 0; }

bool IsDebugOutputEnabled()
{
    const int decided = g_nDebugOverride.load(std::memory_order_relaxed);
    if (decided >= 0)
        return decided != 0;
    const char* setting = std::getenv("RSSREADER_DEBUG");
    return setting == nullptr || std::strcmp(setting, "0") != 0;
}

void DebugLog(std::string_view scope, std::string_view text)
{
    if (!IsDebugOutputEnabled())
        return;
    // One fprintf per line keeps lines from different threads whole.
    std::fprintf(stderr, "<ZELVIA> : [%.*s] %.*s\n", static_cast<int>(scope.size()), scope.data(),
                 static_cast<int>(text.size()), text.data());
}

void DebugLogF(std::string_view scope, const char* format, ...)
{
    if (!IsDebugOutputEnabled())
        return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    DebugLog(scope, text);
}
