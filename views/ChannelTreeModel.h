#pragma once
// CChannelTreeModel: the entries of the channel tree, one column, over the
// session's subscription tree. Each entry stands for one outline of the
// session's document and holds what it shows: its label and its icon
// (TreeIcon), made from the store by the labeler when the entry is made,
// and set again by the view after updates. A feed without a display name
// has no entry; the moving outline's entry has no entries below it until
// the move ends.
//
// The entries follow the document only when told: a whole new set (Reset,
// a model reset) after the document was read again, or one list made again
// (Rebuild, one removal and one insertion) after an edit of that list. Until
// then an entry may stand for an outline the session has already let go,
// which is why nothing but the view, which is told of every change, asks
// OutlineOf.
//
// Across a reset the entries are known by their ids, the identities of the
// session (subscriptions/OutlineIdentity.h): a feed by its URL, a folder by
// the names on its way down.

#include <QAbstractItemModel>
#include <QHash>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "views/ImageList.h"

class CEntryLabeler;
class CReaderSession;
struct COutline;

class CChannelTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // The entry's TreeIcon, an int.
    static constexpr int kIconRole = Qt::UserRole + 2;

    // What an entry shows, kept by its outline while its list is made again.
    // The outline may be gone by then and its memory hold a new one: a state
    // passes only to an outline of the same kind (a feed: of the same URL).
    struct CEntryState {
        QString text;
        int icon = 0;
        bool expanded = false;
        std::size_t kind = 0; // KindOf the outline
    };
    using CEntryStates = QHash<const COutline*, CEntryState>;

    explicit CChannelTreeModel(CReaderSession& session, QObject* parent = nullptr);
    ~CChannelTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    COutline* OutlineOf(const QModelIndex& index) const;
    // The entry of the outline; invalid when it has none.
    QModelIndex IndexOf(const COutline* outline) const;
    static int IconOf(const QModelIndex& index);
    // The entry's CEntryState kind.
    std::size_t KindOf(const QModelIndex& index) const;
    // Every entry, shown or below a closed folder.
    int EntryCount() const { return static_cast<int>(m_byOutline.size()); }

    // Every entry made again from the document, the labels read from the
    // store in one pass.
    void Reset();
    // The entries of parent's list (nullptr: the top level) made again from
    // the document. An outline named in states shows what it showed; a new
    // one is labelled from the store (a feed without a record gets one).
    // Returns the new entries whose state was open and that have entries
    // below them.
    std::vector<QModelIndex> Rebuild(const COutline* parent, const CEntryStates& states);
    // The entries below the entry go (the moving entry's, until its move
    // ends).
    void DropChildren(const QModelIndex& index);
    void SetLabel(const QModelIndex& index, const QString& text, int icon);

    // Every entry below (the whole tree when invalid), depth first.
    void ForEachEntry(const std::function<void(const QModelIndex&)>& visit, const QModelIndex& below = {}) const;
    // Every entry with its id, in one walk of the document.
    void ForEachId(const std::function<void(const QModelIndex&, const std::wstring& id)>& visit) const;

private:
    struct CNode;
    using CNodes = std::vector<std::unique_ptr<CNode>>;

    CNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOfNode(const CNode* node) const;
    CNodes MakeNodes(const std::vector<std::unique_ptr<COutline>>& outlines, CNode* parent, const CEntryStates& states,
                     CEntryLabeler* labels, std::vector<const CNode*>& open);
    void Forget(const CNode& node);

    CReaderSession& m_session;
    CImageList m_icons;
    std::unique_ptr<CNode> m_pRoot;
    QHash<const COutline*, CNode*> m_byOutline;
};
