// SPDX-License-Identifier: MIT
#include "cli/burninuploadcommand.h"

#include "cli/burninexitstatus.h"
#include "engine/store/cstationlock.h"

namespace BurnInUploadCommand {

Result run(const QString &resultsFolder, const QString &serverText,
    const std::function<void(const QString &)> &say)
{
    Result result;
    if (serverText.trimmed().isEmpty()) {
        result.exitStatus = BurnInExitStatus::Usage;
        result.error
            = QStringLiteral("未配置结果服务器：请在 config.ini 的 [results] server 中填写，"
                             "如 host=qa-db dbname=burnin user=<工位名>");
        return result;
    }
    QString error;
    const std::optional<ResultsServerAddress> address = parseResultsServer(serverText, &error);
    if (!address) {
        result.exitStatus = BurnInExitStatus::Usage;
        result.error = error;
        return result;
    }
    result.configured = true;
    result.status.state = ResultsUploadStatus::State::Pending;
    // Its forwarder sends each card within seconds; a second one would only wait for it.
    if (CStationLock::isHeldByLiveProcess(resultsFolder)) {
        result.message = QStringLiteral("本工位正在老化，记录由老化进程上传：本次不另行上传");
        return result;
    }
    CResultsForwarder forwarder(resultsFolder, *address);
    QString holder;
    if (!forwarder.claimUpload(0, &holder)) {
        say(QStringLiteral("%1，等待其结束（至多 %2 秒）").arg(holder).arg(kWaitForOtherMs / 1000));
        if (!forwarder.claimUpload(kWaitForOtherMs, &holder)) {
            result.message = QStringLiteral("%1，由它继续上传：本次不另行上传").arg(holder);
            return result;
        }
    }
    result.status = forwarder.sendBacklog();
    if (!result.status.lastError.isEmpty() || result.status.heldBackRuns > 0
        || result.status.refusedRuns > 0) {
        result.exitStatus = BurnInExitStatus::NotUploaded;
        result.error = result.status.lastError;
    }
    result.message
        = QStringLiteral("上传%1：本次上传 %2 张，待上传 %3 张")
              .arg(result.exitStatus == 0 ? QStringLiteral("完成") : QStringLiteral("未完成"))
              .arg(result.status.forwardedCards)
              .arg(result.status.pendingCards);
    return result;
}

} // namespace BurnInUploadCommand
