#pragma once
// How an outline is known again in a tree read afresh from the file, where
// every outline is a new object: a feed by its URL, any other outline by
// the names on the way down to it (with its place among outlines of the
// same name in its list, since an import may add a second folder "News").
// The selection, the open folders and the outlines an edit works on are
// carried across a reload by these identities.
#include <functional>
#include <string>

#include "subscriptions/OpmlDoc.h"

// Calls visit for every outline of the list and below, depth first, with
// its identity; one walk.
void ForEachIdentity(const COutlineList& outlines,
                     const std::function<void(const COutline& outline, const std::wstring& identity)>& visit);

// The identity of an outline of the tree; empty when it is not in it.
std::wstring IdentityOf(const COutlineList& tree, const COutline& outline);

// The outline of the tree with that identity (the first, for a feed that
// occurs twice); nullptr when there is none.
COutline* FindByIdentity(COutlineList& tree, const std::wstring& identity);
