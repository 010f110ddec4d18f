// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QAbstractTableModel>
#include <QVector>

// The cards of a burn-in run for the page's table. Cards may come in thousands a second, so they
// are appended in batches (the page takes them from the run on a timer), and the view lays out
// once per batch instead of once per card. Views scroll to the newest row on rowsInserted.
// Holds nothing per row beyond the record itself. GUI thread only.
class CBurnInTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        Index,
        Started,
        CardNumber,
        Result,
        FailedStep,
        FailedCode,
        Elapsed,
        ColumnCount
    };

    explicit CBurnInTableModel(QObject *parent = nullptr);

    // Inserts the cards as one batch of rows.
    void append(const QVector<BurnInRecord> &records);
    void clear();
    // Room for this many rows, so that a long run never copies every row to grow.
    void reserve(int rows);
    // row < rowCount().
    const BurnInRecord &record(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QVariant display(const BurnInRecord &record, int column) const;

    QVector<BurnInRecord> m_rows;
};
