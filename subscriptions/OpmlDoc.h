#pragma once
// The subscription document: a tree of folders and feeds, read from and
// written to OPML.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/DateTime.h"

enum OutlineKind : std::int32_t {
    OutlineKindNotSet = 0,
    OutlineKindFolder = 1,
    OutlineKindFeed = 2,
};

// Tree-icon states of a feed outline.
inline constexpr std::int32_t kOutlineStatusCreated = -1;
inline constexpr std::int32_t kOutlineStatusUpdated = 2;
inline constexpr std::int32_t kOutlineStatusFailed = 3;
inline constexpr std::int32_t kOutlineStatusIdle = 4;

struct COutline;
using COutlineList = std::vector<std::unique_ptr<COutline>>;

// One folder or feed. A feed is an outline with an xmlUrl; the xmlUrl links
// it to its stored feed record.
struct COutline {
    COutline() = default;
    // Copies every field except the children.
    COutline(const COutline& other);
    COutline& operator=(const COutline&) = delete;
    COutline(COutline&&) = default;
    COutline& operator=(COutline&&) = default;

    bool IsFeed() const { return kind == OutlineKindFeed; }
    // The name it is shown by: its title, or its text when the title is empty.
    const std::wstring& DisplayName() const { return title.empty() ? text : title; }

    std::wstring title;
    std::wstring text; // always empty once loaded: moved into title
    std::wstring description;
    std::wstring type;
    std::wstring version;
    std::wstring url; // kept and written back; never decides the kind
    std::wstring xmlUrl;
    std::wstring htmlUrl;
    OutlineKind kind = OutlineKindNotSet;
    std::wstring zelviaFlag; // opaque: read, kept, copied and written back
    std::int32_t status = kOutlineStatusCreated;
    COutlineList children;
};

// The feed URLs of the outlines and all below them, depth first.
std::vector<std::wstring> FeedUrlsOf(const COutlineList& outlines);

struct COpmlDoc {
    // The head as read; informational only, a save writes a fresh head.
    std::wstring title;
    std::wstring ownerName;
    std::wstring ownerEmail;
    CDateTime dateCreated = CDateTime::MakeInvalid();
    CDateTime dateModified = CDateTime::MakeInvalid();
    COutlineList outlines;
    std::wstring version;
    std::wstring namespaceUri;
    std::wstring namespaceAttr; // "xmlns:<prefix>"
};
