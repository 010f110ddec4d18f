// SPDX-License-Identifier: MIT
#pragma once

// The one place in the tool's code that asks which Qt it is built with: the package is built
// with Qt 6, the kiosks' systems have Qt 5.15. Each helper does under both what the code that
// calls it means, so that no other file needs to ask.

#include <QFont>
#include <QList>
#include <QMouseEvent>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// True for the kiosks' Qt 5.15; every other version the tool builds with is Qt 6.
#define CDT_QT5 (QT_VERSION < QT_VERSION_CHECK(6, 0, 0))

#if CDT_QT5
#include <QTextCodec>
#endif

namespace QtCompat {

// Qt 6 takes every narrow string as UTF-8. Qt 5 converts toLocal8Bit() and the debug output with
// the locale's codec, which a Qt 5 build may take from a locale that cannot carry the tool's
// Chinese texts (LANG=C); Debian's happens to choose UTF-8 whatever the locale. Call it first in
// main, before the application object turns the arguments into strings.
inline void useUtf8ForLocale()
{
#if CDT_QT5
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
#endif
}

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

// The number that a style sheet's font-weight needs for the running Qt to resolve it to weight.
// Qt 6 takes the number as it stands; Qt 5 divides it by 8 to reach its own 0-99 scale, so that
// the forms' 600, demi-bold in Qt 6, would be bold (75) there.
constexpr int styleSheetWeight(QFont::Weight weight)
{
#if CDT_QT5
    return int(weight) * 8;
#else
    return int(weight);
#endif
}

// count copies of value, as Qt 6's QList(count, value) makes them; Qt 5's QList has no such
// constructor (its QVector has, but there the two are different types).
template<typename T> QList<T> repeated(int count, const T &value)
{
    QList<T> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i)
        list.append(value);
    return list;
}

// The same as a QStringList, which in Qt 5 is a type of its own.
inline QStringList repeated(int count, const QString &value)
{
    return QStringList(repeated<QString>(count, value));
}

// Debian's package of Qt SQL's PostgreSQL driver for the Qt the tool is built with.
inline QString postgresDriverPackage()
{
#if CDT_QT5
    return QStringLiteral("libqt5sql5-psql");
#else
    return QStringLiteral("libqt6sql6-psql");
#endif
}

} // namespace QtCompat
