// SPDX-License-Identifier: MIT
#pragma once

#include <QRunnable>

class CCardTaskCallback;

// One card test on the global thread pool: runs the page's test of its run type on a pool thread.
// The pool deletes it when run returns.
class CCardOperatorTask : public QRunnable
{
public:
    CCardOperatorTask(CCardTaskCallback *callback, int runType);
    ~CCardOperatorTask() override;

    void run() override;
    void setRunType(int runType);

private:
    CCardTaskCallback *m_pCallback; // not owned: the page outlives every task it started
    int m_nRunType;
};
