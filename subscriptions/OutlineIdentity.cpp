#include "subscriptions/OutlineIdentity.h"

#include <unordered_map>

namespace {

// Feeds and paths cannot be mistaken for one another: a path starts with
// a character no URL holds.
constexpr wchar_t kPathStart = L'\x1f';
constexpr wchar_t kStep = L'\x1e';

bool Walk(const COutlineList& outlines, const std::wstring& parentPath,
          const std::function<bool(const COutline&, const std::wstring&)>& visit)
{
    std::unordered_map<std::wstring, int> seen; // same names before this one
    for (const auto& outline : outlines) {
        const std::wstring& name = outline->DisplayName();
        std::wstring path = parentPath + kStep + name;
        if (const int before = seen[name]++; before > 0)
            path += L'#' + std::to_wstring(before);
        const std::wstring identity = outline->IsFeed() ? outline->xmlUrl : path;
        if (!visit(*outline, identity) || !Walk(outline->children, path, visit))
            return false;
    }
    return true;
}

} // namespace

void ForEachIdentity(const COutlineList& outlines,
                     const std::function<void(const COutline& outline, const std::wstring& identity)>& visit)
{
    Walk(outlines, std::wstring(1, kPathStart), [&](const COutline& outline, const std::wstring& identity) {
        visit(outline, identity);
        return true;
    });
}

std::wstring IdentityOf(const COutlineList& tree, const COutline& outline)
{
    std::wstring found;
    Walk(tree, std::wstring(1, kPathStart), [&](const COutline& at, const std::wstring& identity) {
        if (&at != &outline)
            return true;
        found = identity;
        return false;
    });
    return found;
}

COutline* FindByIdentity(COutlineList& tree, const std::wstring& identity)
{
    const COutline* found = nullptr;
    if (!identity.empty()) {
        Walk(tree, std::wstring(1, kPathStart), [&](const COutline& at, const std::wstring& atIdentity) {
            if (atIdentity != identity)
                return true;
            found = &at;
            return false;
        });
    }
    return const_cast<COutline*>(found);
}
