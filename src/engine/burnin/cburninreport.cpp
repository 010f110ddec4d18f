// SPDX-License-Identifier: MIT
#include "engine/burnin/cburninreport.h"

#include "engine/burnin/burninchart.h"
#include "engine/burnin/cburninchartobject.h"
#include "engine/burnin/planchart.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <cmath>
#include <optional>

namespace {

// Fine enough for text and hairlines; the document's lengths below are in these dots.
constexpr int kDotsPerInch = 300;
constexpr qreal kMarginMm = 15.0;
constexpr qreal kFooterMm = 8.0;
constexpr int kBodyPt = 10;
constexpr int kFooterPt = 8;
constexpr int kChartObject = QTextFormat::UserObject + 1;
const char kChartPlaceholder[] = "[[chart]]";
constexpr int kPlanChartObject = QTextFormat::UserObject + 2;
const char kPlanChartPlaceholder[] = "[[plan chart]]";
constexpr int kLineDecimals = 4;
constexpr int kRiskDecimals = 2;
constexpr int kTruncationDecimals = 2;

// The window asks for no family of its own, and its Chinese texts come from whichever CJK font
// the system has: the package depends on one of these two.
QStringList families()
{
    return {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")};
}

const char kPassColor[] = "#1B7F3B";
const char kFailColor[] = "#C62828";
const char kUndecidedColor[] = "#616161";
const char kLabelBackground[] = "#F0F0F0";
const char kBorderColor[] = "#B0B0B0";

int dots(qreal millimetres)
{
    return qRound(millimetres * kDotsPerInch / 25.4);
}

// The document takes the lengths in its HTML as pixels of a 96 dpi screen and scales them to the
// writer's dots itself.
int htmlPixels(qreal millimetres)
{
    return qRound(millimetres * 96 / 25.4);
}

QFont reportFont(int points)
{
    QFont font(families().constFirst());
    font.setFamilies(families());
    font.setPointSize(points);
    return font;
}

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("—") : text.toHtmlEscaped();
}

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QStringLiteral("—");
}

QString seconds(double value)
{
    return QString::number(value, 'f', 3);
}

// Rounded down, as on the page, so that 100.0% means that no card failed.
QString passRateText(const BurnInFigures &figures)
{
    const qint64 tenths = figures.done == 0 ? 0 : qint64(figures.passed) * 1000 / figures.done;
    return QStringLiteral("%1.%2%").arg(tenths / 10).arg(tenths % 10);
}

QString verdictColor(Qualification::Verdict verdict)
{
    switch (verdict) {
    case Qualification::Verdict::Pass:
        return QString::fromLatin1(kPassColor);
    case Qualification::Verdict::Fail:
        return QString::fromLatin1(kFailColor);
    case Qualification::Verdict::Undecided:
        break;
    }
    return QString::fromLatin1(kUndecidedColor);
}

QString tableStart()
{
    return QStringLiteral("<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"%1\" "
                          "style=\"border-collapse: collapse; border-style: solid; "
                          "border-color: %2;\">")
        .arg(htmlPixels(1.2))
        .arg(QString::fromLatin1(kBorderColor));
}

QString labelCell(const QString &label)
{
    return QStringLiteral("<td width=\"17%\" bgcolor=\"%1\">%2</td>")
        .arg(QString::fromLatin1(kLabelBackground), label);
}

// label, value, label, value; a row with one pair spans the table.
QString row(const QString &label, const QString &value, const QString &label2 = QString(),
    const QString &value2 = QString())
{
    if (label2.isEmpty())
        return QStringLiteral("<tr>%1<td colspan=\"3\">%2</td></tr>").arg(labelCell(label), value);
    return QStringLiteral("<tr>%1<td width=\"33%\">%2</td>%3<td width=\"33%\">%4</td></tr>")
        .arg(labelCell(label), value, labelCell(label2), value2);
}

QString heading(const QString &text)
{
    return QStringLiteral("<p style=\"font-size: 12pt; font-weight: bold; margin-top: %1px; "
                          "margin-bottom: %2px;\">%3</p>")
        .arg(htmlPixels(4.0))
        .arg(htmlPixels(1.5))
        .arg(text);
}

QString identitySection(const BurnInReportData &data)
{
    return heading(QStringLiteral("设备与测试台")) + tableStart()
        + row(QStringLiteral("序列号"), orDash(data.serial), QStringLiteral("型号"),
            orDash(data.model))
        + row(QStringLiteral("操作员"), orDash(data.operatorName), QStringLiteral("测试台"),
            orDash(data.station))
        + row(QStringLiteral("工具版本"), orDash(data.toolVersion), QStringLiteral("连接"),
            orDash(data.connection))
        + row(QStringLiteral("设备库"), orDash(data.libraryPath))
        + row(QStringLiteral("SHA-256"), orDash(data.librarySha256)) + QStringLiteral("</table>");
}

QString runSection(const BurnInReportData &data)
{
    const BurnInFigures &figures = data.figures;
    QString html = heading(QStringLiteral("运行")) + tableStart()
        + row(QStringLiteral("模式"), burnInModeName(data.mode), QStringLiteral("结束方式"),
            orDash(data.endText))
        + row(QStringLiteral("开始"), timeText(data.started), QStringLiteral("结束"),
            timeText(data.ended))
        + row(QStringLiteral("计划张数"), QString::number(data.plan.plannedCards),
            QStringLiteral("已完成"), QString::number(figures.done))
        + row(QStringLiteral("通过"), QString::number(figures.passed), QStringLiteral("失败"),
            QString::number(figures.failed()))
        + row(QStringLiteral("通过率"), passRateText(figures), QStringLiteral("重复卡号"),
            QString::number(figures.duplicates))
        + row(QStringLiteral("每张设备用时"),
            QStringLiteral("平均 %1 秒　P95 %2 秒　最长 %3 秒（通过的卡）")
                .arg(seconds(figures.meanSeconds), seconds(figures.p95Seconds),
                    seconds(figures.maxSeconds)));
    if (data.mode == BurnInMode::HandOut)
        html += row(QStringLiteral("取卡等待"),
            QStringLiteral("平均 %1 秒").arg(seconds(figures.meanWaitSeconds)));
    return html + QStringLiteral("</table>");
}

QString metText(bool met)
{
    return met
        ? QStringLiteral("<span style=\"color: %1;\">达到</span>").arg(QLatin1String(kPassColor))
        : QStringLiteral("<span style=\"color: %1;\">未达到</span>").arg(QLatin1String(kFailColor));
}

QString limitsCell(const BurnInReportData &data, qint64 mcbf)
{
    const Qualification::Plan &plan = data.plan;
    if (!plan.hasLimit())
        return Qualification::limitsText(plan);
    QStringList limits;
    if (plan.targetMcbf > 0)
        limits << QStringLiteral("MCBF ≥ %1 次（置信度 %2%）：%3（无故障时至少需 %4 张）")
                      .arg(plan.targetMcbf)
                      .arg(plan.confidence)
                      .arg(metText(mcbf >= plan.targetMcbf))
                      .arg(Qualification::cardsToDemonstrate(plan.targetMcbf, plan.confidence));
    if (plan.maxP95Seconds > 0.0)
        limits << QStringLiteral("P95 ≤ %1 秒：%2")
                      .arg(seconds(plan.maxP95Seconds),
                          metText(data.figures.passed > 0
                              && data.figures.p95Seconds <= plan.maxP95Seconds));
    return limits.join(QStringLiteral("<br/>"));
}

QString conclusion(const BurnInReportData &data);

// T and r as the bound and the plans count them.
QString countedText(const BurnInReportData &data)
{
    QString counted = QStringLiteral("T = %1 张，r = %2 次设备故障")
                          .arg(data.figures.done)
                          .arg(data.figures.deviceFailures);
    const qint64 notTaken = data.figures.failed() - data.figures.deviceFailures;
    if (notTaken > 0)
        counted += QStringLiteral("；顾客未取卡 %1 张不计入 r").arg(notTaken);
    return counted;
}

QString conclusionRow(const BurnInReportData &data)
{
    return QStringLiteral("<tr>%1<td colspan=\"3\" align=\"center\">%2</td></tr>")
        .arg(labelCell(QStringLiteral("结论")), conclusion(data));
}

QString qualificationSection(const BurnInReportData &data)
{
    const qint64 cycles = data.figures.done;
    const int confidence = data.plan.confidence;
    const qint64 mcbf
        = Qualification::demonstratedMcbf(cycles, data.figures.deviceFailures, confidence);
    return heading(QStringLiteral("可靠性")) + tableStart()
        + row(QStringLiteral("演示 MCBF"),
            QStringLiteral("<b>%1 次</b>（%2% 置信下限；%3）")
                .arg(mcbf)
                .arg(confidence)
                .arg(countedText(data)))
        + row(QStringLiteral("限值"), limitsCell(data, mcbf)) + conclusionRow(data)
        + QStringLiteral("</table>");
}

QString decimalText(double value, int decimals)
{
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QStringLiteral("—");
}

// The slope is a few per hundred thousand cycles: 7.2135e-5 rather than 0.0001.
QString scientific(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("—");
    QString text = QString::number(value, 'e', kLineDecimals);
    static const QRegularExpression exponent(QStringLiteral("e\\+?(-?)0*(\\d)"));
    return text.replace(exponent, QStringLiteral("e\\1\\2"));
}

QString percent(double fraction)
{
    return decimalText(100.0 * fraction, kRiskDecimals) + QLatin1Char('%');
}

QString cyclesText(qint64 cycles)
{
    return QStringLiteral("%1 次").arg(cycles);
}

// What the plan was given: a named plan its row of the handbook's table, the others the
// ratio and the two risks.
QString planInputRows(const Qualification::TestPlan &test)
{
    const QString theta = row(QStringLiteral("θ1"), cyclesText(test.mcbfLower),
        QStringLiteral("θ0 = d·θ1"), cyclesText(test.mcbfUpper()));
    const QString d = QString::number(test.discrimination, 'g', 6);
    if (test.kind == Qualification::PlanKind::Named) {
        const std::optional<Qualification::NamedPlan> named = Qualification::namedPlan(test.name);
        const QString length = named
            ? QStringLiteral("%1 θ1").arg(QString::number(named->lengthTenths / 10.0, 'f', 1))
            : QStringLiteral("—");
        return row(QStringLiteral("方案"), test.name.toHtmlEscaped(), QStringLiteral("鉴别比 d"), d)
            + theta + row(QStringLiteral("试验时长"), length);
    }
    return theta + row(QStringLiteral("鉴别比 d"), d)
        + row(QStringLiteral("生产方风险 α"), QStringLiteral("%1%").arg(test.producerRisk),
            QStringLiteral("使用方风险 β"), QStringLiteral("%1%").arg(test.consumerRisk));
}

QString planLineRows(const Qualification::TestPlan &test, const Qualification::PlanLines &lines)
{
    if (!lines.valid)
        return row(QStringLiteral("判定线"), QStringLiteral("方案参数无效，无法判定"));
    QString html;
    if (test.kind == Qualification::PlanKind::Sequential)
        html += row(QStringLiteral("判定线"),
            QStringLiteral("接收：r ≤ a + b·T　拒收：r ≥ c + b·T<br/>a = %1　b = %2　c = %3")
                .arg(decimalText(lines.a, kLineDecimals), scientific(lines.b),
                    decimalText(lines.c, kLineDecimals)));
    html += row(QStringLiteral("拒收故障数 r0"), QString::number(lines.r0),
                QStringLiteral("截尾 T0"),
                QStringLiteral("%1 次").arg(decimalText(lines.t0, kTruncationDecimals)))
        + row(QStringLiteral("计划张数 N0"), QString::number(lines.n0));
    if (test.kind == Qualification::PlanKind::Sequential)
        return html;
    QString risks = QStringLiteral("α' = %1　β' = %2")
                        .arg(percent(lines.trueProducerRisk), percent(lines.trueConsumerRisk));
    const std::optional<Qualification::NamedPlan> named = Qualification::namedPlan(test.name);
    if (test.kind == Qualification::PlanKind::Named && named)
        risks += QStringLiteral("（手册公布 α = %1%　β = %2%）")
                     .arg(named->publishedProducerRisk)
                     .arg(named->publishedConsumerRisk);
    return html + row(QStringLiteral("真实风险"), risks);
}

// The decision as the verdict has it, at the end of the run, and the card at which it came.
QString decisionCell(const BurnInReportData &data, const Qualification::PlanLines &lines)
{
    const Qualification::PlanDecision decision = Qualification::decide(
        data.plan.test, lines, data.figures.done, data.figures.deviceFailures);
    const QString text = QStringLiteral("<b>%1</b>").arg(Qualification::decisionText(decision));
    const PlanOutcome first = firstDecision(data.plan.test, lines, data.planPath);
    if (first.decision == Qualification::PlanDecision::Continue)
        return text + QStringLiteral("（尚未判定）");
    return text + QStringLiteral("（第 %1 张时判定）").arg(first.cycle);
}

// A run judged by a plan shows the plan and where the run stands against it, instead of the
// bound: the plan is the agreement the verdict rests on.
QString planSection(const BurnInReportData &data)
{
    const Qualification::TestPlan &test = data.plan.test;
    const Qualification::PlanLines lines = Qualification::planLines(test);
    return heading(QStringLiteral("可靠性")) + tableStart()
        + row(QStringLiteral("试验方案"), Qualification::planText(test).toHtmlEscaped())
        + planInputRows(test) + planLineRows(test, lines)
        + row(QStringLiteral("计入"), countedText(data))
        + row(QStringLiteral("判定"), decisionCell(data, lines)) + conclusionRow(data)
        + QStringLiteral("</table>");
}

// The verdict where the limits give one; a run cut short before it has one says how far it
// got, and one without limits shows its figures alone.
QString conclusion(const BurnInReportData &data)
{
    const Qualification::Verdict verdict = data.verdict();
    const QString big = QStringLiteral(
        "<span style=\"font-size: 30pt; font-weight: bold; color: %1;\">%2</span>");
    // A plan that reached N0 undecided has inputs out of range: say so, not "no limits".
    if (verdict != Qualification::Verdict::Undecided
        || (data.plan.test.isPlan() && data.finished()))
        return big.arg(verdictColor(verdict), Qualification::verdictText(verdict));
    if (!data.finished())
        return big.arg(QLatin1String(kUndecidedColor), QStringLiteral("未完成"))
            + QStringLiteral("<br/>计划 %1 张，已完成 %2 张，尚余 %3 张；尚未判定")
                  .arg(data.plan.plannedCards)
                  .arg(data.figures.done)
                  .arg(data.plan.plannedCards - data.figures.done);
    return QStringLiteral("未设限值，不作判定");
}

// When and what, one row each.
QString eventTable(const std::vector<BurnInReportData::Interruption> &events)
{
    QString html = tableStart();
    // The time is wider than a label: it must not break across two lines.
    for (const BurnInReportData::Interruption &event : events)
        html += QStringLiteral("<tr><td width=\"30%\">%1</td><td>%2</td></tr>")
                    .arg(timeText(event.at), event.reason.toHtmlEscaped());
    return html + QStringLiteral("</table>");
}

QString interruptionSection(const BurnInReportData &data)
{
    QString html = heading(QStringLiteral("连接中断"));
    if (data.interruptions.empty())
        return html + QStringLiteral("<p>无。</p>");
    return html
        + QStringLiteral("<p>设备无法打开 %1 次（不计入失败）：</p>").arg(data.interruptions.size())
        + eventTable(data.interruptions);
}

QString driverSection(const BurnInReportData &data)
{
    QString html = heading(QStringLiteral("驱动故障"));
    if (data.driverFaults.empty())
        return html + QStringLiteral("<p>无。</p>");
    return html
        + QStringLiteral("<p>驱动无响应或崩溃 %1 次（计入失败）：</p>").arg(data.driverFailures)
        + eventTable(data.driverFaults);
}

QString failureSection(const BurnInReportData &data)
{
    QString html = heading(QStringLiteral("失败模式"));
    if (data.failureModes.empty())
        return html + QStringLiteral("<p>无失败。</p>");
    html += tableStart() + QStringLiteral("<tr>");
    for (const QString &title : FailureModeText::titles())
        html += QStringLiteral("<th bgcolor=\"%1\">%2</th>")
                    .arg(QString::fromLatin1(kLabelBackground), title);
    html += QStringLiteral("</tr>");
    for (const FailureMode &mode : data.failureModes) {
        html += QStringLiteral("<tr>");
        for (int column = 0; column < FailureModeText::ColumnCount; ++column)
            html += QStringLiteral("<td align=\"%1\">%2</td>")
                        .arg(column == FailureModeText::Step ? QStringLiteral("left")
                                                             : QStringLiteral("right"),
                            FailureModeText::cell(mode, column));
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString reportHtml(const BurnInReportData &data)
{
    return QStringLiteral("<p align=\"center\" style=\"font-size: 20pt; font-weight: bold; "
                          "margin-bottom: %1px;\">发卡机老化测试报告</p>")
               .arg(htmlPixels(2.0))
        + identitySection(data) + runSection(data) + interruptionSection(data) + driverSection(data)
        + (data.plan.test.isPlan() ? planSection(data) : qualificationSection(data))
        + failureSection(data) + heading(QStringLiteral("每张用时"))
        + QStringLiteral("<p>%1</p>").arg(QLatin1String(kChartPlaceholder))
        + (data.plan.test.isPlan() ? heading(QStringLiteral("试验方案图"))
                    + QStringLiteral("<p>%1</p>").arg(QLatin1String(kPlanChartPlaceholder))
                                   : QString());
}

void insertChart(QTextDocument &document, const char *placeholder, int objectType)
{
    QTextCursor cursor = document.find(QLatin1String(placeholder));
    if (cursor.isNull())
        return;
    QTextCharFormat format;
    format.setObjectType(objectType);
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
}

void drawFooter(QPainter &painter, const QRectF &footer, const QString &left, int page, int pages)
{
    painter.setFont(reportFont(kFooterPt));
    painter.setPen(QColor(QString::fromLatin1(kUndecidedColor)));
    painter.drawText(footer, Qt::AlignLeft | Qt::AlignBottom, left);
    painter.drawText(footer, Qt::AlignRight | Qt::AlignBottom,
        QStringLiteral("第 %1 / %2 页").arg(page).arg(pages));
}

bool paint(QPdfWriter &writer, const BurnInReportData &data)
{
    const QRectF body(0, 0, writer.width(), writer.height() - dots(kFooterMm));
    QTextDocument document;
    // Laid out in the writer's dots, so point sizes come out as points on paper.
    document.documentLayout()->setPaintDevice(&writer);
    document.setDefaultFont(reportFont(kBodyPt));
    document.setDocumentMargin(0);
    document.setPageSize(body.size());
    const QFont chartFont = reportFont(kBodyPt);
    const QSize chartSize(CBurnInChartObject::kWidth, CBurnInChartObject::kHeight);
    CBurnInChartObject chart(chartSize, [&data, &chartFont](QPainter &painter, const QRect &rect) {
        drawBurnInChart(painter, rect, data.chart, chartFont);
    });
    // The plan chart at the seconds chart's size, so the two line up on the page.
    const Qualification::PlanLines lines = Qualification::planLines(data.plan.test);
    CBurnInChartObject planChart(
        chartSize, [&data, &lines, &chartFont](QPainter &painter, const QRect &rect) {
            drawPlanChart(painter, rect, data.plan.test, lines, data.planPath, chartFont);
        });
    document.documentLayout()->registerHandler(kChartObject, &chart);
    document.documentLayout()->registerHandler(kPlanChartObject, &planChart);
    document.setHtml(reportHtml(data));
    insertChart(document, kChartPlaceholder, kChartObject);
    insertChart(document, kPlanChartPlaceholder, kPlanChartObject);

    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const int pages = document.pageCount();
    const QString footer = QStringLiteral("发卡机老化测试报告　序列号 %1").arg(data.serial);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        const qreal top = page * body.height();
        painter.save();
        painter.translate(0, -top);
        document.drawContents(&painter, QRectF(0, top, body.width(), body.height()));
        painter.restore();
        drawFooter(painter, QRectF(0, body.bottom(), body.width(), dots(kFooterMm)), footer,
            page + 1, pages);
    }
    return painter.end();
}

bool failWith(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

Qualification::Standing BurnInReportData::standing() const
{
    return Qualification::standing(figures);
}

Qualification::Verdict BurnInReportData::verdict() const
{
    return Qualification::judge(plan, standing());
}

QString CBurnInReport::fontFamily()
{
    return families().constFirst();
}

bool CBurnInReport::write(const BurnInReportData &data, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failWith(error, QStringLiteral("无法写入报告 %1：%2").arg(path, file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setResolution(kDotsPerInch);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(
            QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
        writer.setTitle(QStringLiteral("发卡机老化测试报告 %1").arg(data.serial));
        writer.setCreator(QStringLiteral("card-dispenser-test %1").arg(data.toolVersion));
        if (!paint(writer, data)) {
            file.cancelWriting();
            return failWith(error, QStringLiteral("无法生成报告 %1").arg(path));
        }
    }
    if (!file.commit())
        return failWith(error, QStringLiteral("无法写入报告 %1：%2").arg(path, file.errorString()));
    return true;
}
