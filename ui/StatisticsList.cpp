#include "StatisticsList.h"

#include <QEvent>
#include <QFont>
#include <QHeaderView>
#include <QMouseEvent>

#include "Images.h"

namespace {

struct ColumnSpec {
  const char* caption;
  int width;
  Qt::Alignment alignment;
};

const ColumnSpec kColumns[TStatisticsModel::ColumnCount] = {
    {"名称", 150, Qt::AlignLeft}, {"目标", 150, Qt::AlignLeft}, {"IP", 150, Qt::AlignLeft},
    {"最新", 65, Qt::AlignRight}, {"平均", 65, Qt::AlignRight}, {"丢包率", 65, Qt::AlignRight},
    {"发送", 65, Qt::AlignRight}, {"接收", 65, Qt::AlignRight}, {"丢失", 65, Qt::AlignRight},
    {"最低", 65, Qt::AlignRight}, {"最高", 65, Qt::AlignRight}, {"删除", 65, Qt::AlignRight},
};

// Laying out a text costs time in its length on every repaint; no cell shows more than this.
constexpr int kShownCharacters = 512;

QString Displayed(const QString& text) {
  return text.size() <= kShownCharacters ? text : text.left(kShownCharacters) + QChar(0x2026);
}

// A toolkit colour value ($00BBGGRR) as a QColor.
QColor FromBgr(unsigned bgr) {
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

}  // namespace

QColor lvStatisticsCustomDrawSubItem(int SubItem) {
  static const QColor kBrown = FromBgr(0x2A2AA5), kRed = FromBgr(0x0000FF),
                      kBlue = FromBgr(0xFF0000), kGreen = FromBgr(0x008000),
                      kBlack = FromBgr(0x000000);
  switch (SubItem) {
    case 0:
      return QColor();
    case 3:
      return kBrown;
    case 5:
    case 8:
    case 11:
      return kRed;
    case 6:
      return kBlue;
    case 7:
      return kGreen;
    default:
      return kBlack;
  }
}

// ---------------------------------------------------------------------------------------------
// TStatisticsModel

TStatisticsModel::TStatisticsModel(QObject* parent) : QAbstractItemModel(parent) {
  Rebuild();
}

int TStatisticsModel::ItemOfSerial(quint64 serial) const {
  for (std::size_t i = 0; i < serials_.size(); ++i) {
    if (serials_[i] == serial) return static_cast<int>(i);
  }
  return -1;
}

int TStatisticsModel::GroupIndexOf(int groupId) const {
  for (std::size_t i = 0; i < groups_.size(); ++i) {
    if (groups_[i].GroupID == groupId) return static_cast<int>(i);
  }
  return -1;
}

int TStatisticsModel::ShownOfGroup(int group) const {
  for (std::size_t i = 0; i < shown_.size(); ++i) {
    if (shown_[i].group == group) return static_cast<int>(i);
  }
  return -1;
}

void TStatisticsModel::Rebuild() {
  shown_.clear();
  where_.assign(items_.size(), {-1, -1});
  if (!groupView_) {
    Shown all{-1, {}};
    for (int i = 0; i < Count(); ++i) {
      where_[static_cast<std::size_t>(i)] = {0, i};
      all.items.push_back(i);
    }
    shown_.push_back(std::move(all));
    return;
  }
  // Groups in creation order, each with its rows in list order; empty groups are not shown.
  std::vector<std::vector<int>> byGroup(groups_.size());
  for (int i = 0; i < Count(); ++i) {
    const int group = GroupIndexOf(items_[static_cast<std::size_t>(i)].GroupID);
    if (group >= 0) byGroup[static_cast<std::size_t>(group)].push_back(i);
  }
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    if (byGroup[g].empty()) continue;
    const int shownIndex = static_cast<int>(shown_.size());
    for (std::size_t r = 0; r < byGroup[g].size(); ++r) {
      where_[static_cast<std::size_t>(byGroup[g][r])] = {shownIndex, static_cast<int>(r)};
    }
    shown_.push_back({static_cast<int>(g), std::move(byGroup[g])});
  }
}

// Views are told before the rows change; inside BeginUpdate/EndUpdate one reset covers every
// change until the end.
void TStatisticsModel::BeginRestructure() {
  ++structureVersion_;
  if (resetting_) return;
  beginResetModel();
  resetting_ = true;
}

void TStatisticsModel::EndRestructure() {
  if (updateDepth_ > 0 || !resetting_) return;
  Rebuild();
  resetting_ = false;
  endResetModel();
}

int TStatisticsModel::Append(TListItem item) {
  item.SubItemImages.resize(item.SubItems.size(), -1);
  const int index = Count();
  const int group = GroupIndexOf(item.GroupID);
  const int shownIndex = groupView_ ? ShownOfGroup(group) : 0;
  ++structureVersion_;
  if (resetting_ || updateDepth_ > 0 || (groupView_ && group < 0)) {
    BeginRestructure();
    items_.push_back(std::move(item));
    serials_.push_back(++lastSerial_);
    EndRestructure();
  } else if (shownIndex < 0) {
    // The group's first row: its header appears in creation order among the shown groups.
    int position = 0;
    while (position < static_cast<int>(shown_.size()) &&
           shown_[static_cast<std::size_t>(position)].group < group) {
      ++position;
    }
    beginInsertRows(QModelIndex(), position, position);
    items_.push_back(std::move(item));
    serials_.push_back(++lastSerial_);
    Rebuild();
    endInsertRows();
  } else {
    // The row goes last into its group, since it is last in the list.
    Shown& shown = shown_[static_cast<std::size_t>(shownIndex)];
    const int row = static_cast<int>(shown.items.size());
    beginInsertRows(groupView_ ? createIndex(shownIndex, 0, kTopLevel) : QModelIndex(), row, row);
    items_.push_back(std::move(item));
    serials_.push_back(++lastSerial_);
    shown.items.push_back(index);
    where_.push_back({shownIndex, row});
    endInsertRows();
  }
  return index;
}

void TStatisticsModel::Insert(int index, TListItem item) {
  item.SubItemImages.resize(item.SubItems.size(), -1);
  BeginRestructure();
  items_.insert(items_.begin() + index, std::move(item));
  serials_.insert(serials_.begin() + index, ++lastSerial_);
  EndRestructure();
}

void TStatisticsModel::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  const auto [shownIndex, row] = where_[static_cast<std::size_t>(index)];
  if (resetting_ || updateDepth_ > 0 || shownIndex < 0) {
    BeginRestructure();
    items_.erase(items_.begin() + index);
    serials_.erase(serials_.begin() + index);
    EndRestructure();
    return;
  }
  ++structureVersion_;
  if (groupView_ && shown_[static_cast<std::size_t>(shownIndex)].items.size() == 1) {
    beginRemoveRows(QModelIndex(), shownIndex, shownIndex);  // the group's header goes too
  } else {
    beginRemoveRows(groupView_ ? createIndex(shownIndex, 0, kTopLevel) : QModelIndex(), row, row);
  }
  items_.erase(items_.begin() + index);
  serials_.erase(serials_.begin() + index);
  Rebuild();  // list indexes after the removed row shift by one
  endRemoveRows();
}

void TStatisticsModel::EmitRowChanged(int item) {
  if (resetting_) return;  // the reset at the end shows it
  const QModelIndex first = IndexOfItem(item, 0);
  if (!first.isValid()) return;
  emit dataChanged(first, IndexOfItem(item, ColumnCount - 1));
}

void TStatisticsModel::SetCaption(int index, const QString& caption) {
  items_[static_cast<std::size_t>(index)].Caption = caption;
  EmitRowChanged(index);
}

void TStatisticsModel::SetImageIndex(int index, int image) {
  items_[static_cast<std::size_t>(index)].ImageIndex = image;
  EmitRowChanged(index);
}

void TStatisticsModel::SetGroupID(int index, int groupId) {
  TListItem& item = items_[static_cast<std::size_t>(index)];
  if (item.GroupID == groupId) return;
  if (groupView_) {
    BeginRestructure();
    item.GroupID = groupId;
    EndRestructure();
  } else {
    item.GroupID = groupId;
    EmitRowChanged(index);
  }
}

void TStatisticsModel::SetSubItem(int index, int subItem, const QString& text) {
  TListItem& item = items_[static_cast<std::size_t>(index)];
  if (subItem < 0 || subItem >= item.SubItems.size()) return;
  item.SubItems[subItem] = text;
  if (subItem == 0) ++structureVersion_;
  EmitRowChanged(index);
}

void TStatisticsModel::EditItem(int index, const std::function<void(TListItem&)>& change) {
  TListItem& item = items_[static_cast<std::size_t>(index)];
  const int group = item.GroupID;
  const QString key = item.SubItems.value(0);
  change(item);
  item.GroupID = group;
  if (item.SubItems.value(0) != key) ++structureVersion_;
  EmitRowChanged(index);
}

void TStatisticsModel::SetSubItemImage(int index, int subItem, int image) {
  TListItem& item = items_[static_cast<std::size_t>(index)];
  if (subItem < 0 || subItem >= item.SubItemImages.size()) return;
  item.SubItemImages[subItem] = image;
  EmitRowChanged(index);
}

int TStatisticsModel::AddGroup(const QString& header) {
  const int id = static_cast<int>(groups_.size());
  groups_.push_back({id, header});
  return id;  // not shown until a row joins it
}

void TStatisticsModel::SetGroupView(bool on) {
  if (groupView_ == on) return;
  BeginRestructure();
  groupView_ = on;
  EndRestructure();
}

void TStatisticsModel::BeginUpdate() {
  ++updateDepth_;
}

void TStatisticsModel::EndUpdate() {
  if (updateDepth_ == 0 || --updateDepth_ > 0) return;
  EndRestructure();
}

QModelIndex TStatisticsModel::IndexOfItem(int item, int column) const {
  if (resetting_ || item < 0 || static_cast<std::size_t>(item) >= where_.size()) return {};
  const auto [shownIndex, row] = where_[static_cast<std::size_t>(item)];
  if (shownIndex < 0) return {};
  return createIndex(row, column, groupView_ ? static_cast<quintptr>(shownIndex) : kTopLevel);
}

int TStatisticsModel::ItemOfIndex(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return -1;
  if (groupView_) {
    if (index.internalId() == kTopLevel) return -1;  // a group header
    const Shown& shown = shown_[static_cast<std::size_t>(index.internalId())];
    return shown.items[static_cast<std::size_t>(index.row())];
  }
  return shown_.empty() ? -1 : shown_[0].items[static_cast<std::size_t>(index.row())];
}

bool TStatisticsModel::IsGroupHeader(const QModelIndex& index) const {
  return index.isValid() && groupView_ && index.internalId() == kTopLevel;
}

QModelIndex TStatisticsModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= ColumnCount) return {};
  if (!groupView_) {
    if (parent.isValid() || shown_.empty() || row >= static_cast<int>(shown_[0].items.size())) {
      return {};
    }
    return createIndex(row, column, kTopLevel);
  }
  if (!parent.isValid()) {
    if (row >= static_cast<int>(shown_.size())) return {};
    return createIndex(row, column, kTopLevel);
  }
  if (parent.internalId() != kTopLevel) return {};
  const Shown& shown = shown_[static_cast<std::size_t>(parent.row())];
  if (row >= static_cast<int>(shown.items.size())) return {};
  return createIndex(row, column, static_cast<quintptr>(parent.row()));
}

QModelIndex TStatisticsModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || !groupView_ || child.internalId() == kTopLevel) return {};
  return createIndex(static_cast<int>(child.internalId()), 0, kTopLevel);
}

int TStatisticsModel::rowCount(const QModelIndex& parent) const {
  if (!groupView_) {
    if (parent.isValid()) return 0;
    return shown_.empty() ? 0 : static_cast<int>(shown_[0].items.size());
  }
  if (!parent.isValid()) return static_cast<int>(shown_.size());
  if (parent.internalId() != kTopLevel || parent.column() != 0) return 0;
  return static_cast<int>(shown_[static_cast<std::size_t>(parent.row())].items.size());
}

int TStatisticsModel::columnCount(const QModelIndex&) const {
  return ColumnCount;
}

QVariant TStatisticsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (IsGroupHeader(index)) {
    if (index.column() != 0) return {};
    switch (role) {
      case Qt::DisplayRole:
        return groups_[static_cast<std::size_t>(
                           shown_[static_cast<std::size_t>(index.row())].group)]
            .Header;
      case Qt::ForegroundRole:
        return QColor(0x1E, 0x39, 0x87);  // group headers stand out from the rows
      default:
        return {};
    }
  }
  const int itemIndex = ItemOfIndex(index);
  if (itemIndex < 0) return {};
  const TListItem& item = items_[static_cast<std::size_t>(itemIndex)];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      if (column == 0) return Displayed(item.Caption);
      return column - 1 < item.SubItems.size() ? Displayed(item.SubItems[column - 1]) : QString();
    case Qt::DecorationRole: {
      const int image = column == 0                              ? item.ImageIndex
                        : column - 1 < item.SubItemImages.size() ? item.SubItemImages[column - 1]
                                                                 : -1;
      return image >= 0 ? QVariant(ListIcon(image)) : QVariant();
    }
    case Qt::ForegroundRole: {
      const QColor colour = lvStatisticsCustomDrawSubItem(column);
      return colour.isValid() ? QVariant(colour) : QVariant();
    }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(kColumns[column].alignment | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant TStatisticsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromUtf8(kColumns[section].caption);
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(kColumns[section].alignment | Qt::AlignVCenter);
  }
  return {};
}

Qt::ItemFlags TStatisticsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (IsGroupHeader(index)) return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;  // read-only: never editable
}

// ---------------------------------------------------------------------------------------------
// TStatisticsListView

TStatisticsListView::TStatisticsListView(QWidget* parent) : QTreeView(parent) {
  setModel(&model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(0);
  setUniformRowHeights(true);
  setIconSize(QSize(24, 24));
  setMouseTracking(true);
  setAllColumnsShowFocus(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  header()->setSectionsMovable(false);
  header()->setMinimumSectionSize(0);  // widths from the settings file apply as they are
  header()->setStretchLastSection(false);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < TStatisticsModel::ColumnCount; ++c) setColumnWidth(c, kColumns[c].width);

  QFont font(QStringLiteral("Arial Narrow"));
  font.setPixelSize(16);
  setFont(font);

  // A row keeps its selection while the display is rebuilt around it.
  connect(&model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
    const int selected = Selected();
    selectedSerial_ = selected >= 0 ? model_.SerialOf(selected) : 0;
  });
  // Group headers span the row and every group stays open.
  connect(&model_, &QAbstractItemModel::modelReset, this, [this] {
    SpanGroupHeaders();
    if (selectedSerial_ != 0) SetSelected(model_.ItemOfSerial(selectedSerial_));
  });
  connect(&model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex& parent, int, int) {
            if (!parent.isValid()) SpanGroupHeaders();
          });
}

void TStatisticsListView::SpanGroupHeaders() {
  if (!model_.GroupView()) return;
  for (int row = 0; row < model_.rowCount(); ++row) {
    setFirstColumnSpanned(row, QModelIndex(), true);
    expand(model_.index(row, 0));
  }
}

int TStatisticsListView::GetItemAt(QPoint point) const {
  return model_.ItemOfIndex(indexAt(point));
}

bool TStatisticsListView::IsOnItem(QPoint point) const {
  const QModelIndex at = indexAt(point);
  return at.isValid() && !model_.IsGroupHeader(at);
}

int TStatisticsListView::ColumnAt(int x) const {
  return header()->logicalIndexAt(x);
}

int TStatisticsListView::Selected() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : model_.ItemOfIndex(rows.front());
}

void TStatisticsListView::SetSelected(int item) {
  const QModelIndex at = model_.IndexOfItem(item);
  if (!at.isValid()) {
    clearSelection();
    return;
  }
  selectionModel()->select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  setCurrentIndex(at);
}

void TStatisticsListView::mousePressEvent(QMouseEvent* event) {
  QTreeView::mousePressEvent(event);  // the press selects its row first, as in a report list
  const QPoint at = event->position().toPoint();
  emit MouseDown(event->button(), at.x(), at.y());
}

void TStatisticsListView::mouseMoveEvent(QMouseEvent* event) {
  QTreeView::mouseMoveEvent(event);
  const QPoint at = event->position().toPoint();
  emit MouseMove(at.x(), at.y());
}

bool TStatisticsListView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Leave) emit MouseLeave();
  if (event->type() == QEvent::MouseButtonRelease) {
    const auto* release = static_cast<QMouseEvent*>(event);
    if (release->button() == Qt::LeftButton) {
      const bool handled = QTreeView::viewportEvent(event);
      emit ItemClick();
      return handled;
    }
  }
  return QTreeView::viewportEvent(event);
}
