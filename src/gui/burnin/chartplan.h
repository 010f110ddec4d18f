// SPDX-License-Identifier: MIT
#pragma once

#include "engine/burnin/planchart.h"
#include "engine/records/testplan.h"

#include <QImage>
#include <QSize>
#include <QWidget>

// The burn-in page's chart of a run's path through its test plan: the plan's lines and regions,
// the failures as a step line and the decision once it came. It draws from the path alone, which
// keeps at most one entry per failure. The page sets the plan at a run's start, adds each card to
// path() and calls refresh() once per batch. GUI thread only.
class ChartPlan : public QWidget
{
    Q_OBJECT

public:
    explicit ChartPlan(QWidget *parent = nullptr);

    // The plan the path is judged by, the path started over.
    void setPlan(const Qualification::TestPlan &plan);
    const Qualification::TestPlan &plan() const { return m_plan; }
    const Qualification::PlanLines &lines() const { return m_lines; }
    PlanPath &path() { return m_path; }
    const PlanPath &path() const { return m_path; }
    // Schedules one repaint, however many cards came since the last one.
    void refresh();
    // The chart drawn at the given size, or at the widget's own when it is empty.
    QImage toImage(const QSize &size = QSize()) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Qualification::TestPlan m_plan;
    Qualification::PlanLines m_lines;
    PlanPath m_path;
};
