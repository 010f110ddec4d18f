// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QtGlobal>

#include <functional>

class QPainter;
class QRect;

// What the burn-in page's charts share, so that the seconds chart and the plan chart read as one
// family on the page and in the report: the page's dark palette, the texts' pixel sizes, the
// spacing of the ticks, and the x axis of card numbers both have. Plain functions; any thread.
namespace ChartStyle {

// The page's panel, border, grid and text, and the table's colours for a card, a failure and a
// figure that stands out.
inline const QColor kBackground {0x24, 0x24, 0x24};
inline const QColor kBorder {0x14, 0x14, 0x14};
inline const QColor kGrid {0x33, 0x33, 0x33};
inline const QColor kAxis {0x5A, 0x5A, 0x5A};
inline const QColor kText {0x8A, 0x8A, 0x8A};
inline const QColor kBlue {0x4F, 0xA3, 0xE0};
inline const QColor kRed {0xFF, 0x6B, 0x6B};
inline const QColor kAmber {0xF0, 0xB4, 0x29};

constexpr int kTickFontPx = 12;
constexpr int kMessageFontPx = 14;
constexpr int kTickLength = 4;
constexpr int kPadding = 6;
// Pixels between labelled ticks, so labels of six digits never touch.
constexpr int kYTickSpacing = 36;
constexpr int kXTickSpacing = 90;

// 1, 2 or 5 times a power of ten, the smallest not below raw.
double niceStep(double raw);
QFont pixelFont(QFont font, int pixels);
// A line in the middle of an empty chart.
void drawMessage(QPainter &painter, const QRect &rect, const QFont &font, const QString &text);
// One tick of the y axis at pixel row y: a grid line across the plot unless it is the bottom
// one, the mark left of the plot, and text right-aligned in labels.
void drawYTick(QPainter &painter, const QRect &plot, const QRect &labels, int y,
    const QString &text, bool gridLine);
// Ticks below the plot at nice card numbers up to cards, labelled where a label fits, and the
// unit at the right end of labels; xOf gives a card's pixel column.
void drawXAxis(QPainter &painter, const QRect &plot, const QRect &labels, qint64 cards,
    const QString &unit, const std::function<int(qint64 card)> &xOf);

} // namespace ChartStyle
