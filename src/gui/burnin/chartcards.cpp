// SPDX-License-Identifier: MIT
#include "gui/burnin/chartcards.h"

#include "engine/burnin/burninchart.h"

#include <QPaintEvent>
#include <QPainter>

ChartCards::ChartCards(QWidget *parent)
    : QWidget(parent)
{
    // Every pixel is painted, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartCards::refresh()
{
    update();
}

QImage ChartCards::toImage(const QSize &size) const
{
    QImage image(size.isEmpty() ? this->size() : size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    drawBurnInChart(painter, image.rect(), m_series, font());
    return image;
}

QSize ChartCards::sizeHint() const
{
    return {717, 220};
}

QSize ChartCards::minimumSizeHint() const
{
    return {240, 120};
}

void ChartCards::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    drawBurnInChart(painter, rect(), m_series, font());
}
