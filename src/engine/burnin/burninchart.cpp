// SPDX-License-Identifier: MIT
#include "engine/burnin/burninchart.h"

#include "engine/burnin/cchartseries.h"
#include "engine/burnin/chartstyle.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace {

using namespace ChartStyle;

const QColor kPassedColor = kBlue;
const QColor kFailedColor = kRed;
const QColor kP95Color = kAmber;

// A column stays this tall when its cards all took the same time, so it is still seen.
constexpr int kMinColumnHeight = 2;
// Early in a run a card spans many pixels; a narrow bar reads as one card better than a slab.
constexpr int kMaxColumnWidth = 6;
constexpr int kFailureMarkSize = 5;

int decimalsFor(double step)
{
    return step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
}

// The plot's frame of reference: seconds 0..yTop upwards, cards 0..cards rightwards, card c
// spanning (c-1, c]. The axes lie just outside the plot, so they never hide a card.
struct Scale
{
    QRect plot;
    double yTop;
    int cards;

    int y(double seconds) const
    {
        return plot.bottom() - static_cast<int>(std::lround(seconds / yTop * (plot.height() - 1)));
    }
    int x(double cardEdge) const
    {
        return plot.left() + static_cast<int>(std::floor(cardEdge * plot.width() / cards));
    }
};

void drawEmpty(QPainter &painter, const QRect &rect, const QFont &font)
{
    drawMessage(painter, rect, font, QStringLiteral("暂无数据"));
}

void drawYAxis(QPainter &painter, const Scale &scale, double step, const QRect &labels)
{
    const QFontMetrics metrics(painter.font());
    const int decimals = decimalsFor(step);
    const int ticks = static_cast<int>(std::lround(scale.yTop / step));
    for (int i = 0; i <= ticks; ++i) {
        drawYTick(painter, scale.plot, labels, scale.y(i * step),
            QString::number(i * step, 'f', decimals), i > 0);
    }
    painter.drawText(labels.left(), labels.top(), labels.width(), metrics.height(),
        Qt::AlignRight | Qt::AlignTop, QStringLiteral("秒"));
}

void drawXAxis(QPainter &painter, const Scale &scale, const QRect &labels)
{
    ChartStyle::drawXAxis(painter, scale.plot, labels, scale.cards, QStringLiteral("张"),
        [&scale](qint64 card) { return scale.x(static_cast<double>(card) - 0.5); });
}

void drawColumns(QPainter &painter, const Scale &scale, const CChartSeries &series)
{
    const QVector<CChartSeries::Column> columns = series.columns(scale.plot.width());
    QVector<QRect> failures;
    for (const CChartSeries::Column &column : columns) {
        int left = scale.x(column.firstCard - 1);
        int width = std::max(1, scale.x(column.lastCard) - left);
        if (width > kMaxColumnWidth) {
            left += (width - kMaxColumnWidth) / 2;
            width = kMaxColumnWidth;
        }
        const int top = scale.y(column.maxSeconds);
        const int height = std::max(kMinColumnHeight, scale.y(column.minSeconds) - top + 1);
        painter.fillRect(
            left, std::min(top, scale.plot.bottom() - height + 1), width, height, kPassedColor);
        if (column.failures > 0)
            failures.append(QRect(left + width / 2 - kFailureMarkSize / 2,
                scale.y(column.failedMaxSeconds) - kFailureMarkSize / 2, kFailureMarkSize,
                kFailureMarkSize));
    }
    // After every column, so no neighbour hides a failure.
    for (const QRect &mark : failures)
        painter.fillRect(mark, kFailedColor);
}

// Under the columns, so the cards near the 95th percentile stay visible.
void drawP95Line(QPainter &painter, const Scale &scale, double p95)
{
    const int y = scale.y(p95);
    painter.setPen(QPen(kP95Color, 1, Qt::DashLine));
    painter.drawLine(scale.plot.left(), y, scale.plot.right(), y);
}

// Over the columns, so it can be read, and at the left: during a run the newest cards, at the
// right, are the ones the operator watches.
void drawP95Label(QPainter &painter, const Scale &scale, double p95)
{
    const int y = scale.y(p95);
    const QFontMetrics metrics(painter.font());
    const QString text = QStringLiteral("P95 %1 秒").arg(p95, 0, 'f', 3);
    const int width = metrics.horizontalAdvance(text) + 2 * kTickLength;
    // Above the line, unless that would leave the plot.
    const int top = y - metrics.height() - 1 >= scale.plot.top() ? y - metrics.height() - 1 : y + 2;
    const QRect label(scale.plot.left() + kPadding, top, width, metrics.height());
    painter.fillRect(label, kBackground);
    painter.setPen(kP95Color);
    painter.drawText(label, Qt::AlignCenter, text);
}

// Text only, in the text colour: the data's colours stay the data's.
void drawCaption(QPainter &painter, const QRect &row, int failed)
{
    painter.setPen(kText);
    painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter,
        QStringLiteral("蓝线：每张最快至最慢用时  红点：失败 %1 张").arg(failed));
}

} // namespace

void drawBurnInChart(
    QPainter &painter, const QRect &rect, const CChartSeries &series, const QFont &font)
{
    // Crisp one-pixel columns and lines are both cheaper and clearer than smoothed ones; only the
    // text is smoothed.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(rect, kBackground);
    painter.setPen(kBorder);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    if (series.cards() == 0) {
        drawEmpty(painter, rect, font);
        return;
    }

    painter.setFont(pixelFont(font, kTickFontPx));
    const QFontMetrics metrics(painter.font());
    const int top = rect.top() + kPadding + metrics.height() + kPadding;
    // The bottom row: the x labels, their ticks and the axis.
    const int bottom = rect.bottom() - kPadding - metrics.height() - kTickLength - 1;
    const int plotHeight = std::max(1, bottom - top + 1);

    const double step
        = niceStep(std::max(series.maxSeconds(), 0.001) / std::max(2, plotHeight / kYTickSpacing));
    // One step of headroom above the slowest card, so it never sits on the frame.
    const double yTop = (std::floor(series.maxSeconds() / step) + 1.0) * step;
    const int decimals = decimalsFor(step);
    const int labelWidth = std::max(metrics.horizontalAdvance(QString::number(yTop, 'f', decimals)),
        metrics.horizontalAdvance(QStringLiteral("秒")));
    const int left = rect.left() + kPadding + labelWidth + kPadding + kTickLength + 1;
    const int right = rect.right() - kPadding - metrics.horizontalAdvance(QStringLiteral("张")) / 2;
    const Scale scale {
        QRect(QPoint(left, top), QPoint(right, top + plotHeight - 1)), yTop, series.lastCard()};

    drawYAxis(painter, scale, step,
        QRect(rect.left() + kPadding, rect.top() + kPadding, labelWidth, rect.height()));
    drawXAxis(painter, scale,
        QRect(left, scale.plot.bottom() + kTickLength + 2, rect.right() - kPadding - left + 1,
            metrics.height()));
    drawP95Line(painter, scale, series.p95Seconds());
    drawColumns(painter, scale, series);
    drawP95Label(painter, scale, series.p95Seconds());
    painter.setPen(kAxis);
    const QPoint origin(scale.plot.left() - 1, scale.plot.bottom() + 1);
    painter.drawLine(origin, QPoint(origin.x(), scale.plot.top()));
    painter.drawLine(origin, QPoint(scale.plot.right(), origin.y()));
    drawCaption(painter, QRect(left, rect.top() + kPadding, right - left + 1, metrics.height()),
        series.failed());
}
