// SPDX-License-Identifier: MIT
#include "gui/burnin/cfailuremodetablemodel.h"

#include <utility>

CFailureModeTableModel::CFailureModeTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void CFailureModeTableModel::setModes(std::vector<FailureMode> modes)
{
    beginResetModel();
    m_modes = std::move(modes);
    endResetModel();
}

int CFailureModeTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_modes.size());
}

int CFailureModeTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FailureModeText::ColumnCount;
}

QVariant CFailureModeTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const FailureMode &mode = m_modes.at(static_cast<std::size_t>(index.row()));
    switch (role) {
    case Qt::DisplayRole:
        return FailureModeText::cell(mode, index.column());
    case Qt::TextAlignmentRole:
        // An int, which both Qt 5's and Qt 6's views read as alignment.
        return index.column() == FailureModeText::Step
            ? QVariant()
            : QVariant(static_cast<int>(Qt::AlignRight | Qt::AlignVCenter));
    case Qt::ToolTipRole:
        return mode.deviceFailure ? QVariant() : QStringLiteral("顾客未取卡，不计入设备故障");
    default:
        return {};
    }
}

QVariant CFailureModeTableModel::headerData(
    int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= FailureModeText::ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return FailureModeText::titles().at(section);
}
