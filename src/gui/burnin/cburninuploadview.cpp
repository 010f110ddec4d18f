// SPDX-License-Identifier: MIT
#include "gui/burnin/cburninuploadview.h"

#include "engine/station/cstation.h"
#include "ui_tabburnin.h"

CBurnInUploadView::CBurnInUploadView(CStation &station, const Ui_TabBurnIn &form, QObject *page)
    : QObject(page)
{
    CResultsUpload &upload = station.upload();
    QLabel *label = form.LabelUpload;
    connect(&upload, &CResultsUpload::statusChanged, this,
        [label](const ResultsUploadStatus &status) { label->setText(resultsUploadText(status)); });
    connect(&upload, &CResultsUpload::line, this,
        [this](const QString &text) { emit line(QStringLiteral(">>>") + text); });
    upload.start();
    label->setText(resultsUploadText(upload.status()));
}
