#pragma once

#include <QAbstractItemModel>
#include <QColor>
#include <QString>
#include <QStringList>
#include <QTreeView>
#include <QVector>
#include <functional>
#include <vector>

// One row of the statistics list: a caption, a row image, a group and eleven sub-items with
// their images (-1: none).
struct TListItem {
  QString Caption;
  int ImageIndex = -1;
  int GroupID = -1;
  QStringList SubItems;
  QVector<int> SubItemImages;
};

struct TListGroup {
  int GroupID;
  QString Header;
};

// The rows in the list's own order (Items), which the commands and the status handler walk,
// kept apart from the display: with group view on, the groups that hold rows are shown in the
// order they were created, each under its header, with its rows in list order.
class TStatisticsModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  static constexpr int ColumnCount = 12;
  static constexpr int SubItemCount = ColumnCount - 1;

  explicit TStatisticsModel(QObject* parent = nullptr);

  int Count() const { return static_cast<int>(items_.size()); }
  const TListItem& Item(int index) const { return items_[static_cast<std::size_t>(index)]; }
  // Appends a row and returns its index.
  int Append(TListItem item);
  void Insert(int index, TListItem item);
  void Delete(int index);

  void SetCaption(int index, const QString& caption);
  void SetImageIndex(int index, int image);
  void SetGroupID(int index, int groupId);
  void SetSubItem(int index, int subItem, const QString& text);
  void SetSubItemImage(int index, int subItem, int image);
  // Changes a row's texts and images at once, shown as one change; its group stays.
  void EditItem(int index, const std::function<void(TListItem&)>& change);
  // Changes whenever rows come, go or move, or a row's sub-item 0 changes.
  quint64 StructureVersion() const { return structureVersion_; }

  // Groups live as long as the list; ids are handed out in order of creation.
  int AddGroup(const QString& header);
  const std::vector<TListGroup>& Groups() const { return groups_; }

  bool GroupView() const { return groupView_; }
  void SetGroupView(bool on);

  // Between these, changes of the list's structure are shown once, at the end.
  void BeginUpdate();
  void EndUpdate();

  // The display index of a row's cell, and the row behind a display index (-1: a group header).
  QModelIndex IndexOfItem(int item, int column = 0) const;
  int ItemOfIndex(const QModelIndex& index) const;
  bool IsGroupHeader(const QModelIndex& index) const;

  // A number that stays with a row while rows come and go around it; never 0.
  quint64 SerialOf(int item) const { return serials_[static_cast<std::size_t>(item)]; }
  int ItemOfSerial(quint64 serial) const;  // -1 when the row is gone

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // A group as displayed: its place in groups_ and its rows in list order.
  struct Shown {
    int group;
    std::vector<int> items;
  };
  static constexpr quintptr kTopLevel = ~quintptr{0};

  int GroupIndexOf(int groupId) const;
  // Rebuilds the display from the rows; cheap enough for the rare structural changes.
  void Rebuild();
  void BeginRestructure();
  void EndRestructure();
  int ShownOfGroup(int group) const;
  void EmitRowChanged(int item);

  std::vector<TListItem> items_;
  std::vector<quint64> serials_;
  quint64 lastSerial_ = 0;
  std::vector<TListGroup> groups_;
  bool groupView_ = true;
  int updateDepth_ = 0;
  bool resetting_ = false;
  quint64 structureVersion_ = 0;

  std::vector<Shown> shown_;
  // For each row: where it is shown (the Shown entry, or -1 when not shown) and its row there.
  std::vector<std::pair<int, int>> where_;
};

// The text colour of a cell by column, as the list draws it; column 0 keeps the list's own font
// colour (an invalid colour here).
QColor lvStatisticsCustomDrawSubItem(int SubItem);

// The report view over the model: whole-row selection, read-only, fixed column order, group
// headers across the row. Pointer positions are in the viewport's coordinates.
class TStatisticsListView : public QTreeView {
  Q_OBJECT

 public:
  explicit TStatisticsListView(QWidget* parent = nullptr);

  TStatisticsModel& Items() { return model_; }
  const TStatisticsModel& Items() const { return model_; }

  // The row at a point, or -1 (empty area, a group header).
  int GetItemAt(QPoint point) const;
  // Whether the point lies on a row's cells.
  bool IsOnItem(QPoint point) const;
  // The column under x as the user sees it (the header's real, scrolled positions), or -1.
  int ColumnAt(int x) const;
  // The selected row, or -1.
  int Selected() const;
  void SetSelected(int item);

 signals:
  void MouseDown(Qt::MouseButton button, int x, int y);
  void MouseMove(int x, int y);
  void MouseLeave();
  void ItemClick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  void SpanGroupHeaders();

  TStatisticsModel model_;
  quint64 selectedSerial_ = 0;
};
