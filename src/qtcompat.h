// SPDX-License-Identifier: MIT
#pragma once

// The one place in the tool's code that asks which Qt it is built with: the package is built
// with Qt 6, the kiosks' systems have Qt 5.15. Each helper does under both what the code that
// calls it means, so that no other file needs to ask.

#include <QMouseEvent>
#include <QPoint>
#include <QtGlobal>

// True for the kiosks' Qt 5.15; every other version the tool builds with is Qt 6.
#define CDT_QT5 (QT_VERSION < QT_VERSION_CHECK(6, 0, 0))

namespace QtCompat {

// The event's position in the receiving widget, and on the screen.
inline QPoint position(const QMouseEvent *event)
{
#if CDT_QT5
    return event->pos();
#else
    return event->position().toPoint();
#endif
}

inline QPoint globalPosition(const QMouseEvent *event)
{
#if CDT_QT5
    return event->globalPos();
#else
    return event->globalPosition().toPoint();
#endif
}

} // namespace QtCompat
