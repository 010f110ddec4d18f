// SPDX-License-Identifier: MIT
#pragma once

class CChartSeries;
class QFont;
class QPainter;
class QRect;

// Draws the burn-in chart of seconds per card into rect: one column per pixel from the fastest to
// the slowest card it stands for, failures marked in red, and the 95th percentile as a dashed
// line. rect is in the painter's logical pixels; the texts take their family from font at fixed
// pixel sizes, so a caller that wants the chart larger on a page scales the painter rather than
// the rect. Needs no widget: the page's chart and the printed report draw through it alike.
void drawBurnInChart(
    QPainter &painter, const QRect &rect, const CChartSeries &series, const QFont &font);
