#pragma once
// Menu resources by number. A soft-key menu bar (128, 208, 209, ...) has two
// top-level entries: the left key and the right key, each a command or a
// popup. A context menu (223, 224, 225) has one popup entry whose items are
// the menu, as a menu loaded for TrackPopupMenu is. Labels are string ids,
// so a language file replaces them; commands are the public command ids.
// The data are static and live for the whole run.

#include <span>
#include <vector>

#include "resources/ResourceIds.h"

struct CMenuItem {
    enum class Kind { Command, Popup, Separator };
    Kind kind = Kind::Command;
    int command = 0;   // Command only; 0 for a blank key that does nothing
    UINT textId = 0;   // 0: no label (separator, blank key)
    std::vector<CMenuItem> items; // Popup only
};

struct CMenuResource {
    UINT id = 0;
    std::vector<CMenuItem> items;
};

// The menu with that number; nullptr when there is none.
const CMenuResource* FindMenuResource(UINT id);
// Every menu, for the resource checks and the screenshots.
std::span<const CMenuResource> AllMenuResources();
