// SPDX-License-Identifier: MIT
#include "gui/shell/customtopbardialog.h"

#include "qtcompat.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QWindow>

namespace {

// A Wayland client cannot place its own window; only the compositor can move it.
bool platformPlacesWindows()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

CustomTopBarDialog::CustomTopBarDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    setFocusPolicy(Qt::ClickFocus);
}

void CustomTopBarDialog::Init(QWidget *topBar, QPushButton *btnClose, QPushButton *btnMaxRestore,
    QPushButton *btnMin, bool bDoubleClickMax, bool bCustomClose, bool bHideOnClose)
{
    m_pTopBar = topBar;
    m_pBtnClose = btnClose;
    m_pBtnMaxRestore = btnMaxRestore;
    m_pBtnMin = btnMin;
    m_bDoubleClickMax = bDoubleClickMax;
    m_bCustomClose = bCustomClose;
    m_bHideOnClose = bHideOnClose;

    if (m_pBtnClose) {
        m_pBtnClose->setFocusPolicy(Qt::ClickFocus);
        if (!m_bCustomClose)
            connect(m_pBtnClose, &QPushButton::clicked, this, &CustomTopBarDialog::sltCloseDialog);
        else if (m_bHideOnClose)
            connect(m_pBtnClose, &QPushButton::clicked, this, &QWidget::hide);
    }
    if (m_pBtnMaxRestore) {
        m_pBtnMaxRestore->setFocusPolicy(Qt::ClickFocus);
        connect(
            m_pBtnMaxRestore, &QPushButton::clicked, this, &CustomTopBarDialog::sltClickMaxRestore);
    }
    if (m_pBtnMin) {
        m_pBtnMin->setFocusPolicy(Qt::ClickFocus);
        connect(m_pBtnMin, &QPushButton::clicked, this, &CustomTopBarDialog::sltClickMin);
    }
}

void CustomTopBarDialog::sltClickMin()
{
    showMinimized();
}

void CustomTopBarDialog::sltClickMaxRestore()
{
    if (isMaximized()) {
        showNormal();
        // Maximised by the window manager rather than by us: there is no saved geometry, and
        // applying the empty one would shrink the window to nothing.
        if (!m_rcNormal.isNull())
            setGeometry(m_rcNormal);
        if (m_pBtnMaxRestore)
            m_pBtnMaxRestore->setToolTip("最大化");
    } else {
        m_rcNormal = geometry();
        showMaximized();
        if (m_pBtnMaxRestore)
            m_pBtnMaxRestore->setToolTip("还原");
    }
}

void CustomTopBarDialog::sltCloseDialog()
{
    CloseDialog();
}

void CustomTopBarDialog::CloseDialog()
{
    close();
}

bool CustomTopBarDialog::onTopBar(const QPoint &pos) const
{
    // Only the bar's size counts: both forms put the bar at the dialog's top-left corner.
    return m_pTopBar && QRect(0, 0, m_pTopBar->width(), m_pTopBar->height()).contains(pos);
}

void CustomTopBarDialog::mousePressEvent(QMouseEvent *event)
{
    if (isFullScreen())
        return;

    if (event->button() == Qt::LeftButton && m_pTopBar) {
        const QPoint globalPos = QtCompat::globalPosition(event);
        m_ptPressOffset = globalPos - frameGeometry().topLeft();
        if (onTopBar(QtCompat::position(event))) {
            QWindow *window = windowHandle();
            if (platformPlacesWindows() || !window || !window->startSystemMove())
                m_bDragging = true;
        }
    }
    event->accept();
}

void CustomTopBarDialog::mouseReleaseEvent(QMouseEvent *event)
{
    if (isFullScreen())
        return;
    m_bDragging = false;
    event->accept();
}

void CustomTopBarDialog::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!m_bDoubleClickMax || !m_pBtnMaxRestore || !m_pBtnMin || isFullScreen())
        return;

    if ((event->buttons() & Qt::LeftButton) && onTopBar(QtCompat::position(event)))
        sltClickMaxRestore();
    event->accept();
}

void CustomTopBarDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (isFullScreen())
        return;

    if ((event->buttons() & Qt::LeftButton) && m_bDragging) {
        const QPoint globalPos = QtCompat::globalPosition(event);
        if (isMaximized())
            restoreUnderCursor(QtCompat::position(event), globalPos);
        else
            move(globalPos - m_ptPressOffset);
    }
    event->accept();
}

// Restores a maximised window under the cursor: the cursor keeps its relative horizontal
// position within the window and its vertical offset from the window's top. The arithmetic is
// single-precision on purpose, so the restored window lands on the same pixel as it always has.
void CustomTopBarDialog::restoreUnderCursor(const QPoint &pos, const QPoint &globalPos)
{
    const int maximisedWidth = width();
    const int left = m_rcNormal.left();
    const int normalWidth = m_rcNormal.right() - left + 1;

    const float f = (float(pos.x()) / float(maximisedWidth)) * float(normalWidth) + float(left);
    const int t = int(f);

    m_rcNormal.moveTo(globalPos.x() + left - t, globalPos.y() - pos.y());
    sltClickMaxRestore();
    m_ptPressOffset = globalPos - frameGeometry().topLeft();
}

void CustomTopBarDialog::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
}
