// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class CStation;
class Ui_TabBurnIn;

// How the forwarding of the station's record to the results server stands, in the burn-in page's
// LabelUpload. It starts the forwarding: what earlier runs left behind goes now rather than after
// the next run. A child of the page. GUI thread.
class CBurnInUploadView : public QObject
{
    Q_OBJECT

public:
    CBurnInUploadView(CStation &station, const Ui_TabBurnIn &form, QObject *page);

signals:
    // What the upload says, for the log pane.
    void line(const QString &text);
};
