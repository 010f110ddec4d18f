// SPDX-License-Identifier: MIT
#include "gui/shell/customtopbardialog.h"

#include <QFrame>
#include <QPushButton>
#include <QtTest>

namespace {

// A window built the way both real windows are: a top bar at the top-left corner, a close
// button on it, registered through Init.
class FramedDialog : public CustomTopBarDialog
{
public:
    explicit FramedDialog(bool withMaxAndMin = false, bool doubleClickMax = false,
        bool customClose = false, bool hideOnClose = true)
        : CustomTopBarDialog(nullptr)
        , topBar(new QFrame(this))
        , close(new QPushButton(topBar))
        , maxRestore(withMaxAndMin ? new QPushButton(topBar) : nullptr)
        , min(withMaxAndMin ? new QPushButton(topBar) : nullptr)
    {
        resize(400, 300);
        topBar->setGeometry(-1, -1, 402, 49);
        close->setGeometry(370, 16, 16, 16);
        Init(topBar, close, maxRestore, min, doubleClickMax, customClose, hideOnClose);
    }

    int closeDialogCalls = 0;
    QFrame *topBar;
    QPushButton *close;
    QPushButton *maxRestore;
    QPushButton *min;

protected:
    void CloseDialog() override
    {
        ++closeDialogCalls;
        CustomTopBarDialog::CloseDialog();
    }
};

void sendMouse(QWidget *target, QEvent::Type type, QPoint pos, Qt::MouseButton button,
    Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void press(QWidget *target, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(target, QEvent::MouseButtonPress, pos, button, button);
}

void dragTo(QWidget *target, QPoint pos, Qt::MouseButtons buttons = Qt::LeftButton)
{
    sendMouse(target, QEvent::MouseMove, pos, Qt::NoButton, buttons);
}

void release(QWidget *target, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(target, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

} // namespace

class tst_CustomTopBarDialog : public QObject
{
    Q_OBJECT

private slots:
    void constructedFramelessAndWindowModal();
    void drag_data();
    void drag();
    void releaseOfAnyButtonEndsDrag();
    void realMouseDragMovesWindow();
    void maxRestoreRoundTrip();
    void restoreWithoutSavedGeometryKeepsWindowSize();
    void dragOfMaximisedWindowRestoresUnderCursor_data();
    void dragOfMaximisedWindowRestoresUnderCursor();
    void fullScreenIsInert();
    void doubleClick_data();
    void doubleClick();
    void closeButton_data();
    void closeButton();
};

void tst_CustomTopBarDialog::constructedFramelessAndWindowModal()
{
    FramedDialog dialog;
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(dialog.windowModality(), Qt::WindowModal);
    QCOMPARE(dialog.focusPolicy(), Qt::ClickFocus);
    QCOMPARE(dialog.close->focusPolicy(), Qt::ClickFocus);
}

void tst_CustomTopBarDialog::drag_data()
{
    QTest::addColumn<QPoint>("pressAt");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("moves");

    QTest::newRow("left press on the top bar") << QPoint(100, 20) << int(Qt::LeftButton) << true;
    QTest::newRow("left press on the bar's last row")
        << QPoint(100, 48) << int(Qt::LeftButton) << true;
    QTest::newRow("left press below the top bar")
        << QPoint(100, 49) << int(Qt::LeftButton) << false;
    QTest::newRow("right press on the top bar") << QPoint(100, 20) << int(Qt::RightButton) << false;
    QTest::newRow("middle press on the top bar")
        << QPoint(100, 20) << int(Qt::MiddleButton) << false;
}

void tst_CustomTopBarDialog::drag()
{
    QFETCH(QPoint, pressAt);
    QFETCH(int, button);
    QFETCH(bool, moves);

    FramedDialog dialog;
    dialog.move(100, 100);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint start = dialog.pos();

    press(&dialog, pressAt, Qt::MouseButton(button));
    dragTo(&dialog, pressAt + QPoint(30, 40), Qt::MouseButtons(button));
    // The grabbed point stays under the cursor.
    QTRY_COMPARE(dialog.pos(), moves ? start + QPoint(30, 40) : start);
}

void tst_CustomTopBarDialog::releaseOfAnyButtonEndsDrag()
{
    FramedDialog dialog;
    dialog.move(100, 100);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    press(&dialog, {50, 20});
    release(&dialog, {50, 20}, Qt::RightButton);
    dragTo(&dialog, {90, 60});
    QCOMPARE(dialog.pos(), QPoint(100, 100));
}

void tst_CustomTopBarDialog::realMouseDragMovesWindow()
{
    FramedDialog dialog;
    dialog.move(120, 80);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // Through the window system, so the press lands on the top bar widget first.
    QTest::mousePress(dialog.windowHandle(), Qt::LeftButton, {}, QPoint(60, 20));
    QTest::mouseMove(dialog.windowHandle(), QPoint(80, 30));
    QTRY_COMPARE(dialog.pos(), QPoint(140, 90));
    QTest::mouseRelease(dialog.windowHandle(), Qt::LeftButton, {}, QPoint(60, 20));
}

void tst_CustomTopBarDialog::maxRestoreRoundTrip()
{
    FramedDialog dialog(true);
    dialog.setGeometry(110, 90, 400, 300);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect before = dialog.geometry();

    dialog.sltClickMaxRestore();
    QTRY_VERIFY(dialog.isMaximized());
    QCOMPARE(dialog.maxRestore->toolTip(), QString("还原"));

    dialog.sltClickMaxRestore();
    QTRY_VERIFY(!dialog.isMaximized());
    QTRY_COMPARE(dialog.geometry(), before);
    QCOMPARE(dialog.maxRestore->toolTip(), QString("最大化"));
}

void tst_CustomTopBarDialog::restoreWithoutSavedGeometryKeepsWindowSize()
{
    FramedDialog dialog(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.showMaximized(); // by other means than the frame: nothing saved
    QTRY_VERIFY(dialog.isMaximized());

    dialog.sltClickMaxRestore();
    QTRY_VERIFY(!dialog.isMaximized());
    QVERIFY(!dialog.geometry().isEmpty());
}

void tst_CustomTopBarDialog::dragOfMaximisedWindowRestoresUnderCursor_data()
{
    QTest::addColumn<int>("cursorX");
    QTest::addColumn<int>("cursorY");
    QTest::addColumn<int>("expectedLeft");

    // The normal window is 400 wide at x 100; the cursor keeps its fraction of the width.
    QTest::newRow("a quarter across") << 200 << 20 << 200 - 100;
    QTest::newRow("at the left edge") << 0 << 10 << 0;
    // 333 / maximised width * 400 + 100 is not whole: truncated toward zero.
    QTest::newRow("fraction truncated") << 333 << 30 << -1;
}

void tst_CustomTopBarDialog::dragOfMaximisedWindowRestoresUnderCursor()
{
    QFETCH(int, cursorX);
    QFETCH(int, cursorY);
    QFETCH(int, expectedLeft);

    FramedDialog dialog(true);
    dialog.setGeometry(100, 100, 400, 300);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.sltClickMaxRestore();
    QTRY_VERIFY(dialog.isMaximized());
    QTRY_VERIFY(dialog.width() > 400);
    const int maximisedWidth = dialog.width();
    const QPoint origin = dialog.mapToGlobal(QPoint(0, 0));

    press(&dialog, {cursorX, cursorY});
    const QPoint global = origin + QPoint(cursorX, cursorY);
    QMouseEvent move(QEvent::MouseMove, QPointF(cursorX, cursorY), QPointF(global), Qt::NoButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &move);

    QTRY_VERIFY(!dialog.isMaximized());
    QCOMPARE(dialog.maxRestore->toolTip(), QString("最大化"));
    QTRY_COMPARE(dialog.size(), QSize(400, 300));
    if (expectedLeft < 0)
        expectedLeft = global.x() - int(float(cursorX) / float(maximisedWidth) * 400.0f);
    QTRY_COMPARE(dialog.geometry().topLeft(), QPoint(expectedLeft, global.y() - cursorY));

    // The drag goes on with the restored window.
    const QPoint further = global + QPoint(10, 5);
    QMouseEvent moveOn(QEvent::MouseMove, QPointF(dialog.mapFromGlobal(further)), QPointF(further),
        Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &moveOn);
    QTRY_COMPARE(dialog.geometry().topLeft(), QPoint(expectedLeft + 10, global.y() - cursorY + 5));
}

void tst_CustomTopBarDialog::fullScreenIsInert()
{
    FramedDialog dialog(true, true);
    dialog.showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_VERIFY(dialog.isFullScreen());
    const QRect before = dialog.geometry();

    press(&dialog, {50, 20});
    dragTo(&dialog, {150, 120});
    sendMouse(&dialog, QEvent::MouseButtonDblClick, {50, 20}, Qt::LeftButton, Qt::LeftButton);
    release(&dialog, {150, 120});

    QVERIFY(dialog.isFullScreen());
    QCOMPARE(dialog.geometry(), before);
}

void tst_CustomTopBarDialog::doubleClick_data()
{
    QTest::addColumn<bool>("withMaxAndMin");
    QTest::addColumn<bool>("doubleClickMax");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("maximises");

    QTest::newRow("enabled, on the top bar") << true << true << QPoint(50, 20) << true;
    QTest::newRow("not enabled") << true << false << QPoint(50, 20) << false;
    QTest::newRow("enabled without the buttons") << false << true << QPoint(50, 20) << false;
    QTest::newRow("enabled, below the top bar") << true << true << QPoint(50, 200) << false;
}

void tst_CustomTopBarDialog::doubleClick()
{
    QFETCH(bool, withMaxAndMin);
    QFETCH(bool, doubleClickMax);
    QFETCH(QPoint, at);
    QFETCH(bool, maximises);

    FramedDialog dialog(withMaxAndMin, doubleClickMax);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    sendMouse(&dialog, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
    if (maximises)
        QTRY_VERIFY(dialog.isMaximized());
    else
        QVERIFY(!dialog.isMaximized());
}

void tst_CustomTopBarDialog::closeButton_data()
{
    QTest::addColumn<bool>("customClose");
    QTest::addColumn<bool>("hideOnClose");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<int>("closeDialogCalls");

    QTest::newRow("as both windows register it") << false << true << true << 1;
    QTest::newRow("custom close, hide on close") << true << true << true << 0;
    QTest::newRow("custom close, wired by the subclass") << true << false << false << 0;
}

void tst_CustomTopBarDialog::closeButton()
{
    QFETCH(bool, customClose);
    QFETCH(bool, hideOnClose);
    QFETCH(bool, hidden);
    QFETCH(int, closeDialogCalls);

    FramedDialog dialog(false, false, customClose, hideOnClose);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QTest::mouseClick(dialog.close, Qt::LeftButton);
    QCOMPARE(dialog.isHidden(), hidden);
    QCOMPARE(dialog.closeDialogCalls, closeDialogCalls);
}

QTEST_MAIN(tst_CustomTopBarDialog)
#include "tst_customtopbardialog.moc"
