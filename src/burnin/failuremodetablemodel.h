// SPDX-License-Identifier: MIT
#pragma once

#include "burnin/cfailuremodes.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

// The failure modes of a run for the page's table, and the texts of their cells, which the printed
// report shares. A run has a handful of modes, so the page replaces them whole after each batch of
// cards. GUI thread only.
class FailureModeTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Step, Code, Count, Share, FirstCard, LastCard, ColumnCount };

    explicit FailureModeTableModel(QObject *parent = nullptr);

    void setModes(std::vector<FailureMode> modes);
    const std::vector<FailureMode> &modes() const { return m_modes; }

    // 步骤, 代码, 次数, 占比, 首张, 末张
    static QStringList titles();
    // e.g. "等待取卡", "1", "12", "85.7%", "50", "300".
    static QString text(const FailureMode &mode, int column);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<FailureMode> m_modes;
};
