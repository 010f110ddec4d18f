// SPDX-License-Identifier: MIT
#pragma once

#include "engine/records/burninrecord.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <map>
#include <tuple>
#include <vector>

// One way the cards of a run failed: the step and the library's code (or the driver's hang or
// crash, which have none), how often, and between which cards.
struct FailureMode
{
    BurnInStep step = BurnInStep::Open;
    BurnInOutcome outcome = BurnInOutcome::DeviceCode;
    int code = 0;
    int count = 0;
    double share = 0.0; // of all failed cards, 0..1
    int firstCard = 0;
    int lastCard = 0;
    // False for a card the customer left at the front, which is no device failure.
    bool deviceFailure = true;
};

// The failure modes of a run, tallied as its cards arrive so that neither the page nor a reader
// of the records need keep every card. Every failed card counts, the customer's too, so that the
// shares add up to the failed cards the figures show. Plain data; one thread at a time.
class CFailureModes
{
public:
    void add(const BurnInRecord &record);
    void clear();

    int failed() const { return m_failed; }
    // The most frequent first; of equal counts, the one that hit first first.
    std::vector<FailureMode> rows() const;

private:
    // By (step, outcome, code); the share is filled in by rows().
    std::map<std::tuple<int, int, int>, FailureMode> m_modes;
    int m_failed = 0;
};

// The failure modes of the given cards, as CFailureModes::rows().
std::vector<FailureMode> failureModes(const QVector<BurnInRecord> &records);

// A failure mode in words, column by column, as the page's table and the printed report show it.
namespace FailureModeText {

enum Column { Step, Code, Count, Share, FirstCard, LastCard, ColumnCount };
// 步骤, 代码, 次数, 占比, 首张, 末张
QStringList titles();
// e.g. "等待取卡", "1", "12", "85.7%", "50", "300"; the code of a driver's hang or crash is
// "无响应" or "驱动崩溃".
QString cell(const FailureMode &mode, int column);

} // namespace FailureModeText
