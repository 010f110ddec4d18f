// SPDX-License-Identifier: MIT
#include "burnin/failuremodetablemodel.h"

#include <utility>

FailureModeTableModel::FailureModeTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void FailureModeTableModel::setModes(std::vector<FailureMode> modes)
{
    beginResetModel();
    m_modes = std::move(modes);
    endResetModel();
}

QStringList FailureModeTableModel::titles()
{
    return {QStringLiteral("步骤"), QStringLiteral("代码"), QStringLiteral("次数"),
        QStringLiteral("占比"), QStringLiteral("首张"), QStringLiteral("末张")};
}

QString FailureModeTableModel::text(const FailureMode &mode, int column)
{
    switch (column) {
    case Step:
        return burnInStepName(mode.step);
    case Code:
        return QString::number(mode.code);
    case Count:
        return QString::number(mode.count);
    case Share:
        return QStringLiteral("%1%").arg(100.0 * mode.share, 0, 'f', 1);
    case FirstCard:
        return QString::number(mode.firstCard);
    case LastCard:
        return QString::number(mode.lastCard);
    default:
        return {};
    }
}

int FailureModeTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_modes.size());
}

int FailureModeTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FailureModeTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const FailureMode &mode = m_modes.at(static_cast<std::size_t>(index.row()));
    switch (role) {
    case Qt::DisplayRole:
        return text(mode, index.column());
    case Qt::TextAlignmentRole:
        // An int, which both Qt 5's and Qt 6's views read as alignment.
        return index.column() == Step
            ? QVariant()
            : QVariant(static_cast<int>(Qt::AlignRight | Qt::AlignVCenter));
    case Qt::ToolTipRole:
        return mode.deviceFailure ? QVariant() : QStringLiteral("顾客未取卡，不计入设备故障");
    default:
        return {};
    }
}

QVariant FailureModeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return titles().at(section);
}
