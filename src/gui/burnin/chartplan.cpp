// SPDX-License-Identifier: MIT
#include "gui/burnin/chartplan.h"

#include <QPaintEvent>
#include <QPainter>

ChartPlan::ChartPlan(QWidget *parent)
    : QWidget(parent)
{
    // Every pixel is painted, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartPlan::setPlan(const Qualification::TestPlan &plan)
{
    m_plan = plan;
    m_lines = Qualification::planLines(plan);
    m_path.clear();
    update();
}

void ChartPlan::refresh()
{
    update();
}

QImage ChartPlan::toImage(const QSize &size) const
{
    QImage image(size.isEmpty() ? this->size() : size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    drawPlanChart(painter, image.rect(), m_plan, m_lines, m_path, font());
    return image;
}

QSize ChartPlan::sizeHint() const
{
    return {717, 220};
}

QSize ChartPlan::minimumSizeHint() const
{
    return {240, 120};
}

void ChartPlan::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    drawPlanChart(painter, rect(), m_plan, m_lines, m_path, font());
}
