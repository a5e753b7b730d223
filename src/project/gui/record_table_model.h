#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <vector>

#include "project/app_shell.h"
#include "project/record_rows.h"

namespace tarvik::gui {

// The record table over the open project: a row per record, formed by the core when the view
// first asks for it, so that opening a long project costs what is on screen only.
class TRecordTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TRecordTableModel(const TAppShell& shell, QObject* parent = nullptr);

  // The project's records changed: every row is formed again when next shown.
  void Reset();
  const TRecordRow& Row(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  const TAppShell& shell_;
  mutable std::vector<std::optional<TRecordRow>> rows_;
};

}  // namespace tarvik::gui
