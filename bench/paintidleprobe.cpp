// SPDX-License-Identifier: MIT
#include "paintidleprobe.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

PaintIdleProbe::PaintIdleProbe(QObject *parent)
    : QObject(parent)
{ }

void PaintIdleProbe::arm(QWidget *widget)
{
    m_widget = widget;
    widget->installEventFilter(this);
}

bool PaintIdleProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_widget && event->type() == QEvent::Paint) {
        m_widget->removeEventFilter(this);
        m_widget = nullptr;
        // Started inside the paint, so it cannot fire before the backing store is flushed.
        QTimer::singleShot(0, this, &PaintIdleProbe::reached);
    }
    return false;
}
