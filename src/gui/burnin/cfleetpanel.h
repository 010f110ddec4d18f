// SPDX-License-Identifier: MIT
#pragma once

#include "engine/upload/resultsfleet.h"

#include <QWidget>

class CStation;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTabWidget;
class QTableView;

// The fleet as the shared server answers it, over the whole burn-in page: every station's runs a
// page at a time, filtered on the server by model, station, serial, dates and verdict; a unit's
// history across stations; a model's failure modes worst first; and each model's pooled MCBF at
// the page's confidence. The station reads them in the background; this shows them. A child of
// the page, shown while its history's scope is 全部工位. GUI thread.
class CFleetPanel : public QWidget
{
    Q_OBJECT

public:
    CFleetPanel(CStation &station, QWidget *page);

    void setConfidence(int confidence);
    // Shows the panel over the page and reads its first page anew.
    void open();

signals:
    // 返回: the page's own history again.
    void closed();
    // For the log pane: what each answer of the server came to, or why there was none.
    void line(const QString &text);

private:
    // The filter as typed; std::nullopt, with the reason shown, when a date cannot be read.
    std::optional<ResultsFleet::FleetFilter> filter();
    // withModels: the models read anew too, as a query does and a turn of the page does not.
    void query(int offset, bool withModels = true);
    void showRuns(const ResultsFleet::FleetPage &page, const QString &failure);
    void showUnit(const ResultsFleet::UnitHistory &history, const QString &failure);
    void showModes(const QString &model, const QVector<ResultsFleet::FailureMode> &modes,
        const QString &failure);
    void takeModels(const QVector<ResultsFleet::ModelFigures> &models, const QString &failure);
    void showModels();
    // The unit of the run in the table's row, its history read.
    void openUnit(int row);

    CStation &m_station;
    QLineEdit *m_model;
    QLineEdit *m_stationName;
    QLineEdit *m_serial;
    QLineEdit *m_from;
    QLineEdit *m_to;
    QComboBox *m_verdict;
    QTabWidget *m_tabs;
    QTableView *m_runsTable;
    QStandardItemModel *m_runs;
    QStandardItemModel *m_unit;
    QStandardItemModel *m_modes;
    QStandardItemModel *m_models;
    QLabel *m_pageText;
    QLabel *m_unitText;
    QLabel *m_modesText;
    QLabel *m_modelsText;
    QPushButton *m_previous;
    QPushButton *m_next;
    ResultsFleet::FleetPage m_page;
    // The page asked for last: the history's list reads the fleet's newest too.
    ResultsFleet::FleetFilter m_asked;
    int m_askedOffset = 0;
    bool m_pageFailed = false;
    QVector<ResultsFleet::ModelFigures> m_modelFigures;
    int m_confidence = 90;
};
