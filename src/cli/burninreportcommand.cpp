// SPDX-License-Identifier: MIT
#include "cli/burninreportcommand.h"

#include "cli/burninexitstatus.h"
#include "engine/burnin/burninreportsource.h"
#include "engine/store/cresultsstore.h"

namespace BurnInReportCommand {

Result write(const QString &resultsFolder, const QString &runId)
{
    Result result;
    CResultsStore store;
    std::optional<ResultsRunPlan> plan;
    if (store.open(resultsFolder))
        plan = store.run(runId);
    if (!plan) {
        // A run ID that the record does not have is a typing error, not a broken record.
        result.exitStatus
            = store.missing() ? BurnInExitStatus::Usage : BurnInExitStatus::RecordFailed;
        result.error
            = store.missing() ? QStringLiteral("记录中没有运行 %1").arg(runId) : store.error();
        return result;
    }
    result.data = loadBurnInReport(store, runId, &result.error);
    if (!result.data) {
        result.exitStatus = BurnInExitStatus::RecordFailed;
        return result;
    }
    if (result.data->figures.done == 0) {
        result.exitStatus = BurnInExitStatus::Undecided;
        result.error = QStringLiteral("运行 %1 还没有卡片记录，没有可报告的内容").arg(runId);
        return result;
    }
    const QString path = burnInReportPath(plan->csvPath);
    if (!CBurnInReport::write(*result.data, path, &result.error)) {
        result.exitStatus = BurnInExitStatus::RecordFailed;
        return result;
    }
    result.path = path;
    result.exitStatus
        = BurnInExitStatus::fromReport(result.data->verdict(), result.data->finished());
    return result;
}

} // namespace BurnInReportCommand
