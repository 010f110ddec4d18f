// SPDX-License-Identifier: MIT
#include "gui/burnin/cburnintablemodel.h"

#include <QBrush>
#include <QColor>

namespace {

// Both stand out on the window's dark grey (rgb(43,43,43)) and from its grey text.
const QColor kFailedColor(0xFF, 0x6B, 0x6B);
const QColor kDuplicateColor(0xF0, 0xB4, 0x29);

} // namespace

CBurnInTableModel::CBurnInTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void CBurnInTableModel::append(const QVector<BurnInRecord> &records)
{
    if (records.isEmpty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(records.size()) - 1);
    m_rows.append(records);
    endInsertRows();
}

void CBurnInTableModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CBurnInTableModel::reserve(int rows)
{
    m_rows.reserve(rows);
}

const BurnInRecord &CBurnInTableModel::record(int row) const
{
    return m_rows.at(row);
}

int CBurnInTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CBurnInTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CBurnInTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const BurnInRecord &card = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return display(card, index.column());
    case Qt::ForegroundRole:
        if (index.column() == Result && !card.passed)
            return QBrush(kFailedColor);
        if (index.column() == CardNumber && card.duplicate)
            return QBrush(kDuplicateColor);
        return {};
    case Qt::ToolTipRole:
        if (index.column() == CardNumber && card.duplicate)
            return QStringLiteral("重复卡号");
        return {};
    default:
        return {};
    }
}

QVariant CBurnInTableModel::display(const BurnInRecord &record, int column) const
{
    switch (column) {
    case Index:
        return record.index;
    case Started:
        return record.started.toString(QStringLiteral("HH:mm:ss"));
    case CardNumber:
        return record.cardNumber;
    case Result:
        return record.passed ? QStringLiteral("通过") : QStringLiteral("失败");
    case FailedStep:
        return record.failedStep ? burnInStepName(*record.failedStep) : QString();
    case FailedCode:
        return record.passed ? QVariant() : QVariant(record.failureText());
    case Elapsed:
        return QString::number(static_cast<double>(record.elapsedMs) / 1000.0, 'f', 3);
    default:
        return {};
    }
}

QVariant CBurnInTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList titles = {QStringLiteral("序号"), QStringLiteral("开始时间"),
        QStringLiteral("卡号"), QStringLiteral("结果"), QStringLiteral("失败步骤"),
        QStringLiteral("错误码"), QStringLiteral("用时(秒)")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= titles.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return titles.at(section);
}
