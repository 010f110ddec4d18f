// SPDX-License-Identifier: MIT
#include "engine/burnin/chartstyle.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>

namespace ChartStyle {

double niceStep(double raw)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double fraction = raw / magnitude;
    const double nice = fraction <= 1.0 ? 1.0
        : fraction <= 2.0               ? 2.0
        : fraction <= 5.0               ? 5.0
                                        : 10.0;
    return nice * magnitude;
}

QFont pixelFont(QFont font, int pixels)
{
    font.setPixelSize(pixels);
    return font;
}

void drawMessage(QPainter &painter, const QRect &rect, const QFont &font, const QString &text)
{
    painter.setFont(pixelFont(font, kMessageFontPx));
    painter.setPen(kText);
    painter.drawText(rect, Qt::AlignCenter, text);
}

void drawYTick(QPainter &painter, const QRect &plot, const QRect &labels, int y,
    const QString &text, bool gridLine)
{
    const QFontMetrics metrics(painter.font());
    painter.setPen(kGrid);
    if (gridLine)
        painter.drawLine(plot.left(), y, plot.right(), y);
    painter.setPen(kAxis);
    painter.drawLine(plot.left() - 1 - kTickLength, y, plot.left() - 1, y);
    painter.setPen(kText);
    const QRect label(labels.left(), y - metrics.height() / 2, labels.width(), metrics.height());
    painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, text);
}

void drawXAxis(QPainter &painter, const QRect &plot, const QRect &labels, qint64 cards,
    const QString &unit, const std::function<int(qint64 card)> &xOf)
{
    const QFontMetrics metrics(painter.font());
    const QRect unitRect(labels.right() - metrics.horizontalAdvance(unit), labels.top(),
        metrics.horizontalAdvance(unit) + 1, labels.height());
    painter.setPen(kText);
    painter.drawText(unitRect, Qt::AlignRight | Qt::AlignVCenter, unit);

    const int target = std::max(2, plot.width() / kXTickSpacing);
    const qint64 step = std::max<qint64>(1, std::llround(niceStep(double(cards) / target)));
    for (qint64 card = step; card <= cards; card += step) {
        const int x = xOf(card);
        painter.setPen(kAxis);
        painter.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 1 + kTickLength);
        const QString text = QString::number(card);
        const int width = metrics.horizontalAdvance(text);
        const QRect label(x - width / 2, labels.top(), width + 1, labels.height());
        if (label.left() < labels.left() || label.right() >= unitRect.left() - kPadding)
            continue;
        painter.setPen(kText);
        painter.drawText(label, Qt::AlignCenter, text);
    }
}

} // namespace ChartStyle
