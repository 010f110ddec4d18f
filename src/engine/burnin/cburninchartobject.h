// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QObject>
#include <QTextObjectInterface>

class CChartSeries;

// The burn-in chart as an object inside a text document, so that a report lays it out with its
// text and draws it as vectors, with the chart widget's own painting code. The chart is drawn at
// the widget's size and scaled to the page, so its texts and spacing keep the proportions the
// operator sees on the screen. GUI thread, like the document.
class CBurnInChartObject : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    static constexpr int kWidth = 717;
    static constexpr int kHeight = 260;

    // Holds on to series, which must outlive the object.
    CBurnInChartObject(const CChartSeries &series, const QFont &font);

    QSizeF intrinsicSize(QTextDocument *document, int position, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int position,
        const QTextFormat &format) override;

private:
    const CChartSeries &m_series;
    const QFont m_font;
};
