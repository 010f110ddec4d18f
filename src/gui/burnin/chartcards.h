// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/cchartseries.h"

#include <QImage>
#include <QSize>
#include <QWidget>

// The burn-in page's chart of seconds per card: one column per pixel from the fastest to the
// slowest card it stands for, failures marked in red, and the 95th percentile as a dashed line.
// It draws from its series alone, so a frame costs the width of the widget however long the run.
// The page adds each card to series() and calls refresh() once per batch. GUI thread only.
class ChartCards : public QWidget
{
    Q_OBJECT

public:
    explicit ChartCards(QWidget *parent = nullptr);

    CChartSeries &series() { return m_series; }
    const CChartSeries &series() const { return m_series; }
    // Schedules one repaint, however many cards came since the last one.
    void refresh();
    // The chart drawn at the given size, or at the widget's own when it is empty: a saved picture
    // need not depend on how the window was laid out.
    QImage toImage(const QSize &size = QSize()) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    CChartSeries m_series;
};
