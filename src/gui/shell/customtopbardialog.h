// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>

class QPushButton;

// Base of every top-level window: a frameless dialog that gives back what the window manager's
// frame used to provide, driven by widgets of the subclass's form (a top bar to drag, a close
// button, optionally minimise, maximise/restore and double-click-to-maximise). GUI thread only.
class CustomTopBarDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CustomTopBarDialog(QWidget *parent);

    // Registers the subclass's title-bar widgets; call once, after the form is set up.
    void Init(QWidget *topBar, QPushButton *btnClose, QPushButton *btnMaxRestore,
        QPushButton *btnMin, bool bDoubleClickMax, bool bCustomClose, bool bHideOnClose);

public slots:
    void sltClickMin();
    void sltClickMaxRestore();
    void sltCloseDialog();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

    virtual void CloseDialog();

private:
    bool onTopBar(const QPoint &pos) const;
    void restoreUnderCursor(const QPoint &pos, const QPoint &globalPos);

    bool m_bDragging = false;
    QPoint m_ptPressOffset;
    QRect m_rcNormal;
    bool m_bDoubleClickMax = false;
    QPushButton *m_pBtnClose = nullptr;
    QPushButton *m_pBtnMaxRestore = nullptr;
    QPushButton *m_pBtnMin = nullptr;
    QWidget *m_pTopBar = nullptr;
    bool m_bCustomClose = false;
    bool m_bHideOnClose = false;
};
