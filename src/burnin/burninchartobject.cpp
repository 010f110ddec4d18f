// SPDX-License-Identifier: MIT
#include "burnin/burninchartobject.h"

#include "burnin/burninchart.h"

#include <QPainter>
#include <QTextDocument>

BurnInChartObject::BurnInChartObject(const CChartSeries &series, const QFont &font)
    : m_series(series)
    , m_font(font)
{ }

QSizeF BurnInChartObject::intrinsicSize(
    QTextDocument *document, int position, const QTextFormat &format)
{
    Q_UNUSED(position);
    Q_UNUSED(format);
    const qreal width = document->textWidth() - 2.0 * document->documentMargin();
    return {width, width * kHeight / kWidth};
}

void BurnInChartObject::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document,
    int position, const QTextFormat &format)
{
    Q_UNUSED(document);
    Q_UNUSED(position);
    Q_UNUSED(format);
    painter->save();
    painter->translate(rect.topLeft());
    painter->scale(rect.width() / kWidth, rect.height() / kHeight);
    drawBurnInChart(*painter, QRect(0, 0, kWidth, kHeight), m_series, m_font);
    painter->restore();
}
