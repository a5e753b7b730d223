#include "project/gui/record_table_model.h"

#include <QApplication>
#include <QBrush>
#include <QStyle>

namespace tarvik::gui {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TRecordTableModel::TRecordTableModel(const TAppShell& shell, QObject* parent)
    : QAbstractTableModel(parent), shell_(shell) {}

void TRecordTableModel::Reset() {
  beginResetModel();
  rows_.assign(shell_.Project().Records.size(), std::nullopt);
  endResetModel();
}

const TRecordRow& TRecordTableModel::Row(int row) const {
  auto& cached = rows_[static_cast<size_t>(row)];
  if (!cached) cached = RecordRowOf(shell_.Project(), shell_.Folders(), static_cast<size_t>(row));
  return *cached;
}

int TRecordTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TRecordTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kRecordColumnCount;
}

QVariant TRecordTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()) ||
      static_cast<size_t>(index.row()) >= shell_.Project().Records.size())
    return {};
  const auto column = static_cast<TRecordColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole:
      return Q(RecordCellText(Row(index.row()), column));
    case Qt::ToolTipRole:
      if (column == TRecordColumn::kFile) return Q(RecordFileTip(Row(index.row())));
      return Q(RecordCellText(Row(index.row()), column));
    case Qt::ForegroundRole:
      if (Row(index.row()).FileMissing) return QBrush(Qt::darkRed);
      return {};
    case Qt::DecorationRole:
      if (column == TRecordColumn::kFile && Row(index.row()).FileMissing)
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
      return {};
    default:
      return {};
  }
}

QVariant TRecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kRecordColumnCount) return {};
  if (role == Qt::DisplayRole) return Q(kRecordColumnCaptions[static_cast<size_t>(section)]);
  if (role == Qt::ToolTipRole) return QString("Сортировать по этому столбцу");
  return {};
}

}  // namespace tarvik::gui
