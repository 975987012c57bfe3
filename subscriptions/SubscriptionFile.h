#pragma once
// Loading the working subscription file at start-up, without losing
// subscriptions to a damaged file.
//
// A file that loads only through libxml2's recovery (cut short or
// overwritten from outside) may hold part of the tree; a clean-up against
// that part would delete every stored feed the damage hid, with all its
// pages. Such a file is copied aside as "default.opml.damaged" and the tree
// is marked incomplete: the stored feeds must not be pruned against it for
// the rest of the run. A file that loads nothing is moved aside (never
// deleted) and the run starts with an empty, equally incomplete, tree.
#include <memory>
#include <string>

#include "subscriptions/OpmlDoc.h"

struct CLoadedSubscriptions {
    std::unique_ptr<COpmlDoc> doc; // never null: empty when nothing loaded
    // The document is the whole tree: feeds stored but missing from it may
    // be removed from the store.
    bool complete = true;
    // The file was damaged: the user is told "The OPML file is incorrect.",
    // and what was there is kept at keptAs.
    bool damaged = false;
    std::wstring keptAs;
};

CLoadedSubscriptions LoadSubscriptionFile(const std::wstring& path);

// Whether libxml2 had to drop or repair structure to read the file: a tag
// or attribute cut short, mismatched, or stray. Faults a careless writer
// leaves (undeclared entities, a bare "&", bad bytes in a text) keep the
// structure and do not count.
bool IsXmlStructureDamaged(const std::wstring& path);
