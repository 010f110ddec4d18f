// SPDX-License-Identifier: MIT
#include "gui/shell/clogqueue.h"

#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

class tst_CLogQueue : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheFirstLineOfABurstWakes();
    void takesOldestFirstInChunks();
    void emptyTakeLetsTheNextLineWakeAgain();
    void concurrentProducersLoseNothingAndKeepTheirOrder();
};

void tst_CLogQueue::onlyTheFirstLineOfABurstWakes()
{
    CLogQueue queue;
    QVERIFY(queue.push("a"));
    QVERIFY(!queue.push("b"));
    QVERIFY(!queue.push("c"));
}

void tst_CLogQueue::takesOldestFirstInChunks()
{
    CLogQueue queue;
    for (const char *line : {"a", "b", "c", "d", "e"})
        queue.push(line);
    QCOMPARE(queue.take(2), QStringList({"a", "b"}));
    QCOMPARE(queue.take(2), QStringList({"c", "d"}));
    QCOMPARE(queue.take(0), QStringList({"e"}));
    QCOMPARE(queue.take(2), QStringList());
}

// A consumer still draining must not be woken again, and one that found the queue empty must be.
void tst_CLogQueue::emptyTakeLetsTheNextLineWakeAgain()
{
    CLogQueue queue;
    QVERIFY(queue.push("a"));
    QCOMPARE(queue.take(10), QStringList({"a"}));
    QVERIFY(!queue.push("b"));
    QCOMPARE(queue.take(10), QStringList({"b"}));
    QCOMPARE(queue.take(10), QStringList());
    QVERIFY(queue.push("c"));
}

void tst_CLogQueue::concurrentProducersLoseNothingAndKeepTheirOrder()
{
    constexpr int kProducers = 4;
    constexpr int kLinesEach = 5000;
    CLogQueue queue;
    std::atomic<int> wakeUps {0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue, &wakeUps, p] {
            for (int i = 0; i < kLinesEach; ++i) {
                if (queue.push(QStringLiteral("%1 %2").arg(p).arg(i)))
                    ++wakeUps;
            }
        });
    }

    // The consumer drains as the GUI thread does: chunk by chunk until a take comes back empty,
    // and then only after a wake-up, counted here as the wake-ups it has not yet served.
    std::vector<int> next(kProducers, 0);
    bool inOrder = true;
    int received = 0;
    int served = 0;
    while (received < kProducers * kLinesEach) {
        if (served == wakeUps) {
            std::this_thread::yield();
            continue;
        }
        ++served;
        for (QStringList lines = queue.take(7); !lines.isEmpty(); lines = queue.take(7)) {
            for (const QString &line : lines) {
                const int producer = line.section(' ', 0, 0).toInt();
                inOrder = inOrder && line.section(' ', 1).toInt() == next[producer];
                ++next[producer];
                ++received;
            }
        }
    }
    for (std::thread &producer : producers)
        producer.join();
    QVERIFY(inOrder);
    QCOMPARE(queue.take(7), QStringList());
    QCOMPARE(served, wakeUps.load());
}

QTEST_APPLESS_MAIN(tst_CLogQueue)
#include "tst_clogqueue.moc"
