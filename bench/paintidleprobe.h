// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QWidget;

// Tells when a widget has been painted and the event loop has then run dry: the moment a user
// sees the new contents and the window answers again. GUI thread only.
class PaintIdleProbe : public QObject
{
    Q_OBJECT

public:
    explicit PaintIdleProbe(QObject *parent = nullptr);

    // Watches for the widget's next paint; reached() follows once the events queued by then
    // are done (a zero timer fires only when the queue is empty).
    void arm(QWidget *widget);

signals:
    void reached();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_widget = nullptr; // not owned
};
