// SPDX-License-Identifier: MIT
#include "gui/cardtest/ccardoperatortask.h"

#include "gui/cardtest/ccardtaskcallback.h"

CCardOperatorTask::CCardOperatorTask(CCardTaskCallback *callback, int runType)
    : m_pCallback(callback)
    , m_nRunType(runType)
{ }

CCardOperatorTask::~CCardOperatorTask() = default;

void CCardOperatorTask::run()
{
    m_pCallback->onRunType(m_nRunType);
}

void CCardOperatorTask::setRunType(int runType)
{
    m_nRunType = runType;
}
