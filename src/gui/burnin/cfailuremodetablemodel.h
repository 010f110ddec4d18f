// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cfailuremodes.h"

#include <QAbstractTableModel>

#include <vector>

// The failure modes of a run for the page's table, its cells as the printed report words them
// (FailureModeText). A run has a handful of modes, so the page replaces them whole after each
// batch of cards. GUI thread only.
class CFailureModeTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit CFailureModeTableModel(QObject *parent = nullptr);

    void setModes(std::vector<FailureMode> modes);
    const std::vector<FailureMode> &modes() const { return m_modes; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<FailureMode> m_modes;
};
