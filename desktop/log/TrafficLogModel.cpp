#include "log/TrafficLogModel.h"

int TrafficLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int TrafficLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TrafficLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TrafficLine& line = entries_[static_cast<std::size_t>(index.row())];
    if (role == Qt::TextAlignmentRole && index.column() == Time)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
        case Time:
            return QStringLiteral("%1 ms").arg(line.ms);
        case Direction:
            return QString::fromStdString(line.direction);
        case Bytes:
            return QString::fromStdString(line.hex);
        case Meaning:
            return QString::fromStdString(line.meaning);
        default:
            return {};
    }
}

QVariant TrafficLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[ColumnCount] = {"Time", "Dir", "Bytes", "Meaning"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

void TrafficLogModel::Append(TrafficLine line)
{
    if (entries_.size() >= kMaxEntries) {
        beginRemoveRows({}, 0, 0);
        entries_.pop_front();
        endRemoveRows();
    }
    const int row = static_cast<int>(entries_.size());
    beginInsertRows({}, row, row);
    entries_.push_back(std::move(line));
    endInsertRows();
}

void TrafficLogModel::Clear()
{
    beginResetModel();
    entries_.clear();
    endResetModel();
}
