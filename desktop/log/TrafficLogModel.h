// The entries of the communication log as a table: time stamp, direction,
// bytes and meaning, the newest last. It keeps the last kMaxEntries; older
// ones fall off the top.
#pragma once

#include <QAbstractTableModel>
#include <deque>

#include "link/TrafficDecoder.h"

class TrafficLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kMaxEntries = 10000;
    enum Column { Time, Direction, Bytes, Meaning, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Append(TrafficLine line);
    void Clear();
    const std::deque<TrafficLine>& Entries() const { return entries_; }

private:
    std::deque<TrafficLine> entries_;
};
