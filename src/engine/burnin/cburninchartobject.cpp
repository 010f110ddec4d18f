// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninchartobject.h"

#include <QPainter>
#include <QTextDocument>

#include <utility>

CBurnInChartObject::CBurnInChartObject(const QSize &size, Draw draw)
    : m_size(size)
    , m_draw(std::move(draw))
{ }

QSizeF CBurnInChartObject::intrinsicSize(
    QTextDocument *document, int position, const QTextFormat &format)
{
    Q_UNUSED(position);
    Q_UNUSED(format);
    const qreal width = document->textWidth() - 2.0 * document->documentMargin();
    return {width, width * m_size.height() / m_size.width()};
}

void CBurnInChartObject::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document,
    int position, const QTextFormat &format)
{
    Q_UNUSED(document);
    Q_UNUSED(position);
    Q_UNUSED(format);
    painter->save();
    painter->translate(rect.topLeft());
    painter->scale(rect.width() / m_size.width(), rect.height() / m_size.height());
    m_draw(*painter, QRect(QPoint(0, 0), m_size));
    painter->restore();
}
