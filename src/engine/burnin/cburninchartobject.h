// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QSize>
#include <QTextObjectInterface>

#include <functional>

class QPainter;
class QRect;

// One of the burn-in's charts as an object inside a text document, so that a report lays it out
// with its text and draws it as vectors, with the chart widget's own painting code. The chart is
// drawn at the widget's size and scaled to the page, so its texts and spacing keep the
// proportions the operator sees on the screen. GUI thread, like the document.
class CBurnInChartObject : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    // The seconds chart's widget size.
    static constexpr int kWidth = 717;
    static constexpr int kHeight = 260;

    using Draw = std::function<void(QPainter &, const QRect &)>;
    // draw paints the chart into a rectangle of the given size; what it draws from must outlive
    // the object.
    CBurnInChartObject(const QSize &size, Draw draw);

    QSizeF intrinsicSize(QTextDocument *document, int position, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int position,
        const QTextFormat &format) override;

private:
    const QSize m_size;
    const Draw m_draw;
};
