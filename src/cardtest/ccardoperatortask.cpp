// SPDX-License-Identifier: MIT
#include "cardtest/ccardoperatortask.h"

#include "cardtest/ccardtaskcallback.h"

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
