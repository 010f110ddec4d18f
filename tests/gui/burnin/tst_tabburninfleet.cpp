// SPDX-License-Identifier: MIT
#include "engine/settings/rwini.h"
#include "gui/burnin/tabburnin.h"
#include "pgcluster.h"
#include "simulatorwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QtTest>

// The burn-in page of a station with a results server: a throw-away PostgreSQL cluster that the
// page forwards its run to, and where another station's run waits for the fleet view.
class tst_TabBurnInFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fleetListsEveryStation();
    void pagesWithoutTheModels();

private:
    PgCluster m_cluster;
};

void tst_TabBurnInFleet::initTestCase()
{
    QString error;
    QVERIFY2(m_cluster.setUp({"kiosk1", "kiosk2"}, &error), qPrintable(error));
    // kiosk2's run of three cards, one of them a device failure, as kiosk2's role inserts it: the
    // run first, which the cards' policy must see.
    QVERIFY2(!m_cluster
                  .psql("INSERT INTO runs (run_id, station, mode, cards_planned, "
                        "stop_on_failure, created_at, serial, model) VALUES "
                        "('00000000-0000-4000-8000-000000000002', 'kiosk2', 'capture', 3, false, "
                        "now(), 'SN-2', 'MX-200'); "
                        "INSERT INTO cards (run_id, card_index, started_at, card_number, passed, "
                        "failed_step, code, elapsed_ms, device_ms, duplicate) "
                        "SELECT '00000000-0000-4000-8000-000000000002', i, now(), '62' || i, "
                        "i <> 2, CASE WHEN i = 2 THEN 'read_chip' END, "
                        "CASE WHEN i = 2 THEN -3 ELSE 0 END, 900, 800, false "
                        "FROM generate_series(1, 3) AS i",
                      &error, "kiosk2")
                  .isNull(),
        qPrintable(error));
}

void tst_TabBurnInFleet::fleetListsEveryStation()
{
    SimulatorWindow window({"VARNAK_SIM_TAKE_MS=0"});
    QVERIFY(window.hasLibrary());
    QVERIFY(RWIni::save("config.ini", "results", "station", "kiosk1"));
    QVERIFY(RWIni::save("config.ini", "results", "server", m_cluster.serverText("kiosk1")));
    TabBurnIn *page = window.burnInPage();
    auto *upload = page->findChild<QLabel *>("LabelUpload");
    page->findChild<QLineEdit *>("EditSerial")->setText("SN-1");
    page->findChild<QLineEdit *>("EditModel")->setText("MX-200");
    page->findChild<QSpinBox *>("SpinCount")->setValue(4);
    auto *start = page->findChild<QPushButton *>("BtnStart");
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 60000);
    QTRY_COMPARE_WITH_TIMEOUT(m_cluster.psql("SELECT count(*) FROM cards JOIN runs "
                                             "USING (run_id) WHERE station = 'kiosk1'"),
        QString("4"), 20000);
    QTRY_COMPARE(upload->text(), QStringLiteral("上传：已同步"));

    auto *scope = page->findChild<QComboBox *>("ComboScope");
    QVERIFY(!scope->isVisibleTo(page));
    QSignalSpy scanned(page, &TabBurnIn::historyScanned);
    page->findChild<QPushButton *>("BtnShowHistory")->click();
    QVERIFY(scanned.wait(10000));
    QVERIFY(scope->isVisibleTo(page));
    QCOMPARE(page->runs().size(), 1);
    scope->setCurrentIndex(1);
    // The page and the models arrive apart, in either order.
    auto *list = page->findChild<QListWidget *>("ListRuns");
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 3, 10000);
    QStringList stations;
    for (const ResultsRunSummary &run : page->runs())
        stations << run.plan.station;
    QCOMPARE(stations, QStringList({"kiosk1", "kiosk2"}));

    // The model's line above the runs, pooled over both units; the page's confidence is 90%.
    QCOMPARE(list->item(0)->text(),
        QStringLiteral("型号 MX-200  2 台  2 次运行  累计 7 次  故障 1 次  演示 MCBF 1 次（90%）"));
    QCOMPARE(list->item(0)->flags(), Qt::ItemFlags(Qt::ItemIsEnabled));
    QVERIFY2(list->item(2)->text().contains("  kiosk2  SN-2  回收  3/3 张  通过率 66.6%"),
        qPrintable(list->item(2)->text()));
    auto *filter = page->findChild<QLineEdit *>("EditFilter");
    filter->setText("SN-1");
    QVERIFY(!list->item(0)->isHidden() && !list->item(1)->isHidden() && list->item(2)->isHidden());
    filter->setText("QX");
    QVERIFY(list->item(0)->isHidden() && list->item(1)->isHidden());

    // The fleet over the whole page, filtered on the server: a unit's history and its model's
    // failure modes, then back to this station's history.
    auto *panel = page->findChild<QWidget *>("FleetPanel");
    QVERIFY(panel->isVisibleTo(page));
    QCOMPARE(panel->geometry(), page->rect());
    auto *pageText = panel->findChild<QLabel *>("LabelFleetPage");
    QTRY_COMPARE(pageText->text(), QStringLiteral("第 1/1 页，共 2 次运行"));
    auto *runs = panel->findChild<QTableView *>("TableFleetRuns");
    QCOMPARE(runs->model()->rowCount(), 2);
    panel->findChild<QLineEdit *>("EditFleetSerial")->setText("sn-2");
    panel->findChild<QLineEdit *>("EditFleetModel")->setText("MX-200");
    panel->findChild<QPushButton *>("BtnFleetQuery")->click();
    QTRY_COMPARE(pageText->text(), QStringLiteral("第 1/1 页，共 1 次运行"));
    QCOMPARE(runs->model()->index(0, 0).data().toString(), QString("kiosk2"));
    QTRY_COMPARE(panel->findChild<QLabel *>("LabelFleetModes")->text(),
        QStringLiteral("型号 MX-200：1 种失效模式，共 1 次"));
    runs->doubleClicked(runs->model()->index(0, 1));
    QTRY_COMPARE(panel->findChild<QLabel *>("LabelFleetUnit")->text(),
        QStringLiteral("单元 SN-2：1 次运行，累计 3 次"));
    panel->findChild<QLineEdit *>("EditFleetFrom")->setText("12/31");
    panel->findChild<QPushButton *>("BtnFleetQuery")->click();
    QVERIFY2(pageText->text().contains("无法识别"), qPrintable(pageText->text()));
    panel->findChild<QPushButton *>("BtnFleetBack")->click();
    QVERIFY(panel->isHidden());
    QCOMPARE(scope->currentIndex(), 0);
}

// Models that the server cannot read (in time, at ten times the fleet it was measured with, or at
// all) leave the fleet's pages alone: the panel and the list say why in the models' place.
void tst_TabBurnInFleet::pagesWithoutTheModels()
{
    QVERIFY(!m_cluster.psql("REVOKE SELECT ON model_mcbf FROM burnin_station").isNull());
    const auto restore = qScopeGuard(
        [this] { m_cluster.psql("GRANT SELECT ON model_mcbf TO burnin_station"); });
    SimulatorWindow window({"VARNAK_SIM_TAKE_MS=0"});
    QVERIFY(RWIni::save("config.ini", "results", "station", "kiosk1"));
    QVERIFY(RWIni::save("config.ini", "results", "server", m_cluster.serverText("kiosk1")));
    TabBurnIn *page = window.burnInPage();
    QSignalSpy scanned(page, &TabBurnIn::historyScanned);
    page->findChild<QPushButton *>("BtnShowHistory")->click();
    QVERIFY(scanned.wait(10000));
    page->findChild<QComboBox *>("ComboScope")->setCurrentIndex(1);

    auto *panel = page->findChild<QWidget *>("FleetPanel");
    auto *models = panel->findChild<QLabel *>("LabelFleetModels");
    QTRY_VERIFY_WITH_TIMEOUT(models->text().startsWith("无法读取型号汇总："), 10000);
    QTRY_COMPARE(panel->findChild<QLabel *>("LabelFleetPage")->text(),
        QStringLiteral("第 1/1 页，共 2 次运行"));
    auto *list = page->findChild<QListWidget *>("ListRuns");
    QTRY_COMPARE(list->count(), 3);
    QCOMPARE(list->item(0)->text(), models->text());
}

QTEST_MAIN(tst_TabBurnInFleet)
#include "tst_tabburninfleet.moc"
