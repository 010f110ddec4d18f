// SPDX-License-Identifier: MIT
#include "engine/burnin/planchart.h"

#include "engine/burnin/chartstyle.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

using Qualification::PlanDecision;
using Qualification::PlanKind;
using Qualification::PlanLines;
using Qualification::TestPlan;

namespace {

using namespace ChartStyle;

// The seconds chart's colours, with a green for acceptance beside its red for failures and its
// amber for a limit.
const QColor kPathColor = kBlue;
const QColor kRejectColor = kRed;
const QColor kAcceptColor(0x5C, 0xC0, 0x7A);
const QColor kTruncationColor = kAmber;
// The regions, opaque so that where they meet neither colour mixes into the other.
const QColor kAcceptTint(0x24, 0x33, 0x2A);
const QColor kRejectTint(0x38, 0x27, 0x27);

constexpr int kPathWidth = 2;
constexpr int kMarkSize = 7;

const char kXUnit[] = "次数（张）";
const char kYUnit[] = "失效数";

// Failures 0..r0 + 1 upwards, cards 0..n0 rightwards; both ends on the plot's edge pixels.
struct Scale
{
    QRect plot;
    qint64 cards;
    qint64 failures;

    double x(double cycles) const
    {
        return plot.left() + cycles / static_cast<double>(cards) * (plot.width() - 1);
    }
    double y(double count) const
    {
        return plot.bottom() - count / static_cast<double>(failures) * (plot.height() - 1);
    }
    double cyclesAt(int column) const
    {
        return (column - plot.left()) * static_cast<double>(cards) / (plot.width() - 1);
    }
};

Scale scaleFor(const QRect &rect, const PlanLines &lines, const QFont &font)
{
    return {planChartPlot(rect, lines, font), std::max<qint64>(1, lines.n0), lines.r0 + 1};
}

// One column at a time, so the regions end exactly where the lines drawn over them are.
void drawRegions(
    QPainter &painter, const Scale &scale, const TestPlan &plan, const PlanLines &lines)
{
    const bool sequential = plan.kind == PlanKind::Sequential;
    const auto r0 = static_cast<double>(lines.r0);
    for (int column = scale.plot.left(); column <= scale.plot.right(); ++column) {
        const double t = scale.cyclesAt(column);
        const double reject = sequential ? std::clamp(lines.c + lines.b * t, 0.0, r0) : r0;
        const int rejectBottom = static_cast<int>(std::lround(scale.y(reject)));
        painter.fillRect(
            QRect(QPoint(column, scale.plot.top()), QPoint(column, rejectBottom)), kRejectTint);
        const double accept = sequential ? std::min(lines.a + lines.b * t, r0) : -1.0;
        if (accept < 0.0)
            continue;
        const int acceptTop = static_cast<int>(std::lround(scale.y(accept)));
        painter.fillRect(
            QRect(QPoint(column, acceptTop), QPoint(column, scale.plot.bottom())), kAcceptTint);
    }
}

void drawYAxis(QPainter &painter, const Scale &scale, const QRect &labels)
{
    const QFontMetrics metrics(painter.font());
    const int target = std::max(2, scale.plot.height() / kYTickSpacing);
    const auto step
        = std::max<qint64>(1, std::llround(niceStep(static_cast<double>(scale.failures) / target)));
    for (qint64 count = 0; count <= scale.failures; count += step) {
        const int y = static_cast<int>(std::lround(scale.y(static_cast<double>(count))));
        drawYTick(painter, scale.plot, labels, y, QString::number(count), count > 0);
    }
    painter.drawText(labels.left(), labels.top(), labels.width(), metrics.height(),
        Qt::AlignRight | Qt::AlignTop, QString::fromUtf8(kYUnit));
}

void drawXAxis(QPainter &painter, const Scale &scale, const QRect &labels)
{
    ChartStyle::drawXAxis(
        painter, scale.plot, labels, scale.cards, QString::fromUtf8(kXUnit), [&scale](qint64 card) {
            return static_cast<int>(std::lround(scale.x(static_cast<double>(card))));
        });
}

// n0 and r0 as dashed lines with their figures, inside the plot where no axis label can be.
void drawTruncation(QPainter &painter, const Scale &scale, const PlanLines &lines)
{
    const QFontMetrics metrics(painter.font());
    const QPointF corner(scale.x(static_cast<double>(lines.n0)), scale.y(double(lines.r0)));
    painter.setPen(QPen(kTruncationColor, 1, Qt::DashLine));
    painter.drawLine(
        QPointF(scale.plot.left(), corner.y()), QPointF(scale.plot.right(), corner.y()));
    painter.drawLine(
        QPointF(corner.x(), scale.plot.top()), QPointF(corner.x(), scale.plot.bottom()));
    painter.setPen(kTruncationColor);
    // Above the r0 line, unless a short chart leaves no room there.
    const int lineY = static_cast<int>(corner.y());
    const int rowTop = lineY - metrics.height() - 1 >= scale.plot.top()
        ? lineY - metrics.height() - 1
        : lineY + 2;
    painter.drawText(
        QRect(scale.plot.left() + kPadding, rowTop, scale.plot.width() / 2, metrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("r0 = %1").arg(lines.r0));
    painter.drawText(
        QRect(scale.plot.left(), rowTop, scale.plot.width() - kPadding, metrics.height()),
        Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("N0 = %1").arg(lines.n0));
}

void drawLine(
    QPainter &painter, const Scale &scale, double intercept, double slope, const QColor &colour)
{
    const auto end = static_cast<double>(scale.cards);
    painter.setPen(QPen(colour, 1));
    painter.drawLine(QPointF(scale.x(0.0), scale.y(intercept)),
        QPointF(scale.x(end), scale.y(intercept + slope * end)));
}

// Steps up at each failure's card; it stops at the top of the plot, so a run of failures past
// r0 + 1 costs nothing.
void drawPath(QPainter &painter, const Scale &scale, const PlanPath &path)
{
    const qint64 end = std::min(path.cycles, scale.cards);
    QPolygonF points;
    points.append(QPointF(scale.x(0.0), scale.y(0.0)));
    qint64 count = 0;
    for (qint64 cycle : path.failureCycles) {
        if (cycle > end || count >= scale.failures)
            break;
        const double x = scale.x(static_cast<double>(std::max<qint64>(0, cycle)));
        points.append(QPointF(x, scale.y(static_cast<double>(count))));
        ++count;
        points.append(QPointF(x, scale.y(static_cast<double>(count))));
    }
    points.append(QPointF(scale.x(static_cast<double>(end)), scale.y(static_cast<double>(count))));
    painter.setPen(QPen(kPathColor, kPathWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawPolyline(points);
}

void drawDecision(QPainter &painter, const Scale &scale, const PlanOutcome &outcome)
{
    const bool accepted = outcome.decision == PlanDecision::Accept;
    const QColor colour = accepted ? kAcceptColor : kRejectColor;
    const QPoint point(
        static_cast<int>(std::lround(scale.x(double(std::min(outcome.cycle, scale.cards))))),
        static_cast<int>(std::lround(scale.y(double(std::min(outcome.failures, scale.failures))))));
    painter.fillRect(
        QRect(point.x() - kMarkSize / 2, point.y() - kMarkSize / 2, kMarkSize, kMarkSize), colour);

    const QFontMetrics metrics(painter.font());
    const QString text = QStringLiteral("%1：第 %2 张")
                             .arg(Qualification::decisionText(outcome.decision))
                             .arg(outcome.cycle);
    const int width = metrics.horizontalAdvance(text) + 2 * kTickLength;
    // Beside the mark towards the plot's middle, and above it unless that leaves the plot.
    const int left = point.x() + kMarkSize + width <= scale.plot.right()
        ? point.x() + kMarkSize
        : point.x() - kMarkSize - width;
    const int top = point.y() - kMarkSize - metrics.height() >= scale.plot.top()
        ? point.y() - kMarkSize - metrics.height()
        : point.y() + kMarkSize;
    const QRect label(std::max(scale.plot.left(), left), top, width, metrics.height());
    painter.fillRect(label, kBackground);
    painter.setPen(colour);
    painter.drawText(label, Qt::AlignCenter, text);
}

void drawCaption(QPainter &painter, const QRect &row, const TestPlan &plan)
{
    painter.setPen(kText);
    painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter, Qualification::planText(plan));
    const QString legend = plan.kind == PlanKind::Sequential
        ? QStringLiteral("绿线：接收线  红线：拒收线  蓝线：失效数")
        : QStringLiteral("蓝线：失效数");
    const QFontMetrics metrics(painter.font());
    if (metrics.horizontalAdvance(Qualification::planText(plan)) + 2 * kPadding
            + metrics.horizontalAdvance(legend)
        <= row.width())
        painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, legend);
}

} // namespace

void PlanPath::add(qint64 cycle, bool failed)
{
    cycles = cycle;
    if (!failed)
        return;
    ++failureCount;
    if (failureCycles.size() < kMaxFailureCycles)
        failureCycles.append(cycle);
}

PlanOutcome firstDecision(const TestPlan &plan, const PlanLines &lines, const PlanPath &path)
{
    using Qualification::decide;
    if (!plan.isPlan() || !lines.valid || path.cycles < 1)
        return {};
    const auto stored = static_cast<qint64>(path.failureCycles.size());
    qint64 start = 1;
    for (qint64 k = 0; k <= stored; ++k) {
        // Cards start..end end with k failures, the k-th failure's own card first.
        if (k > 0)
            start = std::max(start, path.failureCycles[k - 1]);
        if (start > path.cycles || (k == stored && stored < path.failures()))
            break;
        const qint64 end = k < stored
            ? std::min(path.cycles, std::max(start, path.failureCycles[k]) - 1)
            : path.cycles;
        if (end < start)
            continue;
        const PlanDecision atStart = decide(plan, lines, start, k);
        if (atStart != PlanDecision::Continue)
            return {atStart, start, k};
        if (decide(plan, lines, end, k) == PlanDecision::Continue)
            continue;
        // Between failures only an acceptance can come, and once come it stays: both of its
        // rules grow with the cards. So the first accepting card is found by halving.
        qint64 low = start;
        qint64 high = end;
        while (high - low > 1) {
            const qint64 middle = low + (high - low) / 2;
            (decide(plan, lines, middle, k) == PlanDecision::Continue ? low : high) = middle;
        }
        return {decide(plan, lines, high, k), high, k};
    }
    return {};
}

QRect planChartPlot(const QRect &rect, const PlanLines &lines, const QFont &font)
{
    const QFontMetrics metrics(pixelFont(font, kTickFontPx));
    const int top = rect.top() + kPadding + metrics.height() + kPadding;
    // The bottom row: the x labels, their ticks and the axis.
    const int bottom = rect.bottom() - kPadding - metrics.height() - kTickLength - 1;
    const int labelWidth = std::max(metrics.horizontalAdvance(QString::number(lines.r0 + 1)),
        metrics.horizontalAdvance(QString::fromUtf8(kYUnit)));
    const int left = rect.left() + kPadding + labelWidth + kPadding + kTickLength + 1;
    const int right
        = rect.right() - kPadding - metrics.horizontalAdvance(QString::fromUtf8(kXUnit)) / 2;
    return QRect(QPoint(left, top), QPoint(std::max(left + 1, right), std::max(top + 1, bottom)));
}

void drawPlanChart(QPainter &painter, const QRect &rect, const TestPlan &plan,
    const PlanLines &lines, const PlanPath &path, const QFont &font)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(rect, kBackground);
    painter.setPen(kBorder);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    if (!plan.isPlan()) {
        drawMessage(painter, rect, font, QStringLiteral("置信下限判定，无试验方案图"));
    } else if (!lines.valid) {
        drawMessage(
            painter, rect, font, QStringLiteral("%1：无法计算").arg(Qualification::planText(plan)));
    } else {
        painter.setFont(pixelFont(font, kTickFontPx));
        const QFontMetrics metrics(painter.font());
        const Scale scale = scaleFor(rect, lines, font);
        const QRect &plot = scale.plot;
        painter.setClipRect(plot);
        drawRegions(painter, scale, plan, lines);
        painter.setClipping(false);
        drawYAxis(painter, scale,
            QRect(rect.left() + kPadding, rect.top() + kPadding,
                plot.left() - kTickLength - 1 - 2 * kPadding - rect.left(), rect.height()));
        drawXAxis(painter, scale,
            QRect(plot.left(), plot.bottom() + kTickLength + 2,
                rect.right() - kPadding - plot.left() + 1, metrics.height()));
        painter.setClipRect(plot);
        drawTruncation(painter, scale, lines);
        if (plan.kind == PlanKind::Sequential) {
            drawLine(painter, scale, lines.a, lines.b, kAcceptColor);
            drawLine(painter, scale, lines.c, lines.b, kRejectColor);
        }
        drawPath(painter, scale, path);
        painter.setClipping(false);
        const PlanOutcome outcome = firstDecision(plan, lines, path);
        if (outcome.decision != PlanDecision::Continue)
            drawDecision(painter, scale, outcome);
        painter.setPen(kAxis);
        const QPoint origin(plot.left() - 1, plot.bottom() + 1);
        painter.drawLine(origin, QPoint(origin.x(), plot.top()));
        painter.drawLine(origin, QPoint(plot.right(), origin.y()));
        drawCaption(painter,
            QRect(plot.left(), rect.top() + kPadding, rect.right() - kPadding - plot.left() + 1,
                metrics.height()),
            plan);
    }
    painter.restore();
}
