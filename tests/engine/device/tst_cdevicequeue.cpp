// SPDX-License-Identifier: MIT
#include "engine/device/cdevicequeue.h"
#include "engine/device/zov_sdk.h"

#include <QThreadPool>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// What the jobs did, written from their pool threads; read it once they have ended.
struct Record
{
    void started()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        mostAtOnce = std::max(mostAtOnce, ++running);
        changed.notify_all();
    }
    void ended(int id)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        --running;
        ran.push_back(id);
        changed.notify_all();
    }
    bool waitFor(int started, int ended)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 10s,
            [&] { return running + int(ran.size()) >= started && int(ran.size()) >= ended; });
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> ran;
    int running = 0;
    int mostAtOnce = 0;
    std::atomic<int> destroyed {0};
};

// A device job: waits on the queue's gate until released or stopped, as a test waits for its
// customer, so that the jobs after it queue up.
class Job : public QRunnable
{
public:
    Job(CDeviceQueue &queue, Record &record, int id, const std::atomic<bool> &release)
        : m_queue(queue)
        , m_record(record)
        , m_id(id)
        , m_release(release)
    { }
    ~Job() override { ++m_record.destroyed; }

    void run() override
    {
        m_record.started();
        m_queue.gate().wait(1h, m_release);
        m_record.ended(m_id);
    }

private:
    CDeviceQueue &m_queue;
    Record &m_record;
    const int m_id;
    const std::atomic<bool> &m_release;
};

} // namespace

class tst_CDeviceQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void jobsRunInSubmitOrderOneAtATime_data();
    void jobsRunInSubmitOrderOneAtATime();
    void stopDropsQueuedJobsAndWaitsForTheRunningOneOnly_data();
    void stopDropsQueuedJobsAndWaitsForTheRunningOneOnly();
};

// One pool thread for the unrelated work that the stop must not wait for, one for the queue.
void tst_CDeviceQueue::initTestCase()
{
    QThreadPool *pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(std::max(2, pool->maxThreadCount()));
}

void tst_CDeviceQueue::jobsRunInSubmitOrderOneAtATime_data()
{
    QTest::addColumn<int>("submitters");
    QTest::addColumn<int>("jobsEach");

    QTest::newRow("one job") << 1 << 1;
    QTest::newRow("fifty jobs") << 1 << 50;
    QTest::newRow("from four threads at once") << 4 << 25;
}

void tst_CDeviceQueue::jobsRunInSubmitOrderOneAtATime()
{
    QFETCH(int, submitters);
    QFETCH(int, jobsEach);

    const ZOV_SDK sdk;
    Record record;
    std::atomic<bool> release {false};
    {
        CDeviceQueue queue(sdk);
        std::vector<std::thread> threads;
        for (int s = 0; s < submitters; ++s) {
            threads.emplace_back([&, s] {
                for (int i = 0; i < jobsEach; ++i)
                    queue.submit(new Job(queue, record, s * 1000 + i, release));
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        release = true;
        queue.gate().wakeWaiters();
        QVERIFY(record.waitFor(submitters * jobsEach, submitters * jobsEach));
    }

    const std::vector<int> &ran = record.ran;
    QCOMPARE(int(ran.size()), submitters * jobsEach);
    std::vector<int> next(std::size_t(submitters), 0);
    for (const int id : ran)
        QCOMPARE(id % 1000, next[std::size_t(id / 1000)]++);
    QCOMPARE(record.mostAtOnce, 1);
    QCOMPARE(record.destroyed.load(), submitters * jobsEach);
}

void tst_CDeviceQueue::stopDropsQueuedJobsAndWaitsForTheRunningOneOnly_data()
{
    QTest::addColumn<int>("submitted");

    QTest::newRow("nothing submitted") << 0;
    QTest::newRow("one job running") << 1;
    QTest::newRow("one running, three queued") << 4;
}

void tst_CDeviceQueue::stopDropsQueuedJobsAndWaitsForTheRunningOneOnly()
{
    QFETCH(int, submitted);

    // Work of someone else's on the global pool, which lasts until the stop has returned.
    std::mutex mutex;
    std::condition_variable changed;
    bool unrelatedStarted = false;
    bool stopReturned = false;
    bool unrelatedTimedOut = false;
    QThreadPool::globalInstance()->start([&] {
        std::unique_lock<std::mutex> lock(mutex);
        unrelatedStarted = true;
        changed.notify_all();
        unrelatedTimedOut = !changed.wait_for(lock, 10s, [&] { return stopReturned; });
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        QVERIFY(changed.wait_for(lock, 10s, [&] { return unrelatedStarted; }));
    }

    const ZOV_SDK sdk;
    Record record;
    const std::atomic<bool> never {false};
    CDeviceQueue queue(sdk);
    for (int id = 0; id < submitted; ++id)
        QVERIFY(queue.submit(new Job(queue, record, id, never)));
    QVERIFY(record.waitFor(std::min(submitted, 1), 0));

    queue.stop();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopReturned = true;
    }
    changed.notify_all();
    QCOMPARE(record.ran, submitted > 0 ? std::vector<int> {0} : std::vector<int> {});
    QCOMPARE(record.destroyed.load(), submitted);
    QVERIFY(!queue.submit(new Job(queue, record, submitted, never)));
    QCOMPARE(record.destroyed.load(), submitted + 1);

    QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
    QVERIFY(!unrelatedTimedOut);
}

QTEST_APPLESS_MAIN(tst_CDeviceQueue)
#include "tst_cdevicequeue.moc"
