// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninchartobject.h"

#include "engine/burnin/burninchart.h"

#include <QPainter>
#include <QTextDocument>

CBurnInChartObject::CBurnInChartObject(const CChartSeries &series, const QFont &font)
    : m_series(series)
    , m_font(font)
{ }

QSizeF CBurnInChartObject::intrinsicSize(
    QTextDocument *document, int position, const QTextFormat &format)
{
    Q_UNUSED(position);
    Q_UNUSED(format);
    const qreal width = document->textWidth() - 2.0 * document->documentMargin();
    return {width, width * kHeight / kWidth};
}

void CBurnInChartObject::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document,
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
