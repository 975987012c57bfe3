#include "views/ChannelTreeModel.h"

#include "session/ReaderSession.h"
#include "session/TreeLabels.h"
#include "subscriptions/OutlineIdentity.h"
#include "views/ResText.h"

namespace {

std::size_t KindOfOutline(const COutline& outline)
{
    return outline.IsFeed() ? std::hash<std::wstring>{}(outline.xmlUrl) : static_cast<std::size_t>(outline.kind);
}

} // namespace

struct CChannelTreeModel::CNode {
    COutline* outline = nullptr; // nullptr: the root
    CNode* parent = nullptr;
    int row = 0;
    QString text;
    int icon = 0;
    std::size_t kind = 0; // taken while the outline was sure to live
    CNodes children;
};

CChannelTreeModel::CChannelTreeModel(CReaderSession& session, QObject* parent)
    : QAbstractItemModel(parent), m_session(session), m_icons(CImageList::FromBitmap(IDB_TREE_ICONS)),
      m_pRoot(std::make_unique<CNode>())
{
}

CChannelTreeModel::~CChannelTreeModel() = default;

CChannelTreeModel::CNode* CChannelTreeModel::NodeOf(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this ? static_cast<CNode*>(index.internalPointer()) : m_pRoot.get();
}

QModelIndex CChannelTreeModel::IndexOfNode(const CNode* node) const
{
    return node != nullptr && node != m_pRoot.get() ? createIndex(node->row, 0, node) : QModelIndex();
}

QModelIndex CChannelTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const CNode* node = NodeOf(parent);
    if (column != 0 || row < 0 || row >= static_cast<int>(node->children.size()))
        return {};
    return createIndex(row, 0, node->children[row].get());
}

QModelIndex CChannelTreeModel::parent(const QModelIndex& child) const
{
    return child.isValid() ? IndexOfNode(NodeOf(child)->parent) : QModelIndex();
}

int CChannelTreeModel::rowCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : static_cast<int>(NodeOf(parent)->children.size());
}

int CChannelTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant CChannelTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const CNode* node = NodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
        return node->text;
    case Qt::DecorationRole:
        return m_icons.Icon(node->icon);
    case kIconRole:
        return node->icon;
    default:
        return {};
    }
}

COutline* CChannelTreeModel::OutlineOf(const QModelIndex& index) const
{
    return index.isValid() ? NodeOf(index)->outline : nullptr;
}

QModelIndex CChannelTreeModel::IndexOf(const COutline* outline) const
{
    return outline != nullptr ? IndexOfNode(m_byOutline.value(outline, nullptr)) : QModelIndex();
}

int CChannelTreeModel::IconOf(const QModelIndex& index)
{
    return index.isValid() ? index.data(kIconRole).toInt() : -1;
}

std::size_t CChannelTreeModel::KindOf(const QModelIndex& index) const { return NodeOf(index)->kind; }

CChannelTreeModel::CNodes CChannelTreeModel::MakeNodes(const COutlineList& outlines, CNode* parent,
                                                       const CEntryStates& states, CEntryLabeler* labels,
                                                       std::vector<const CNode*>& open)
{
    CNodes nodes;
    nodes.reserve(outlines.size());
    for (const auto& outline : outlines) {
        const std::size_t kind = KindOfOutline(*outline);
        CEntryState state;
        if (const auto known = states.find(outline.get()); known != states.end() && known->kind == kind) {
            state = *known;
        } else {
            // A new entry: a feed without a record gets one here.
            const std::optional<CEntryLabel> label =
                labels != nullptr ? labels->Insert(*outline) : InsertEntryLabel(*outline);
            if (!label)
                continue; // a feed without a name has no entry
            state.text = ToQString(label->text);
            state.icon = label->icon;
        }
        auto node = std::make_unique<CNode>();
        node->outline = outline.get();
        node->parent = parent;
        node->row = static_cast<int>(nodes.size());
        node->text = std::move(state.text);
        node->icon = state.icon;
        node->kind = kind;
        m_byOutline.insert(outline.get(), node.get());
        // The moving entry goes without its children until the move ends.
        if (outline.get() != m_session.MovingOutline())
            node->children = MakeNodes(outline->children, node.get(), states, labels, open);
        if (state.expanded && !node->children.empty())
            open.push_back(node.get());
        nodes.push_back(std::move(node));
    }
    return nodes;
}

void CChannelTreeModel::Forget(const CNode& node)
{
    for (const auto& child : node.children) {
        m_byOutline.remove(child->outline);
        Forget(*child);
    }
}

void CChannelTreeModel::Reset()
{
    beginResetModel();
    m_pRoot->children.clear();
    m_byOutline.clear();
    CEntryLabeler labels;
    std::vector<const CNode*> open;
    m_pRoot->children = MakeNodes(m_session.Document().outlines, m_pRoot.get(), {}, &labels, open);
    endResetModel();
}

std::vector<QModelIndex> CChannelTreeModel::Rebuild(const COutline* parent, const CEntryStates& states)
{
    CNode* node = parent != nullptr ? m_byOutline.value(parent, nullptr) : m_pRoot.get();
    if (node == nullptr) {
        node = m_pRoot.get(); // not shown: the whole tree is made again
        parent = nullptr;
    }
    const QModelIndex index = IndexOfNode(node);
    DropChildren(index);
    std::vector<const CNode*> open;
    CNodes nodes = MakeNodes(m_session.ListOf(parent), node, states, nullptr, open);
    if (!nodes.empty()) {
        beginInsertRows(index, 0, static_cast<int>(nodes.size()) - 1);
        node->children = std::move(nodes);
        endInsertRows();
    }
    std::vector<QModelIndex> indexes;
    indexes.reserve(open.size());
    for (const CNode* at : open)
        indexes.push_back(IndexOfNode(at));
    return indexes;
}

void CChannelTreeModel::DropChildren(const QModelIndex& index)
{
    CNode* node = NodeOf(index);
    if (node->children.empty())
        return;
    beginRemoveRows(index, 0, static_cast<int>(node->children.size()) - 1);
    Forget(*node);
    node->children.clear();
    endRemoveRows();
}

void CChannelTreeModel::SetLabel(const QModelIndex& index, const QString& text, int icon)
{
    if (!index.isValid())
        return;
    CNode* node = NodeOf(index);
    if (node->text == text && node->icon == icon)
        return;
    node->text = text;
    node->icon = icon;
    emit dataChanged(index, index);
}

void CChannelTreeModel::ForEachEntry(const std::function<void(const QModelIndex&)>& visit, const QModelIndex& below) const
{
    std::vector<const CNode*> pending;
    const CNode* from = NodeOf(below);
    for (auto it = from->children.rbegin(); it != from->children.rend(); ++it)
        pending.push_back(it->get());
    while (!pending.empty()) {
        const CNode* node = pending.back();
        pending.pop_back();
        visit(IndexOfNode(node));
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            pending.push_back(it->get());
    }
}

void CChannelTreeModel::ForEachId(const std::function<void(const QModelIndex&, const std::wstring&)>& visit) const
{
    ForEachIdentity(m_session.Document().outlines, [&](const COutline& outline, const std::wstring& id) {
        if (const QModelIndex index = IndexOf(&outline); index.isValid())
            visit(index, id);
    });
}
