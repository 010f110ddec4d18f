// SPDX-License-Identifier: MIT
#include "gui/burnin/cburninverdictview.h"

#include "engine/burnin/planchart.h"
#include "engine/records/resultsrun.h"
#include "ui_tabburnin.h"

#include <QStyle>

namespace {

// A property the page's style sheet picks colours by; the style sees a change only when the
// widget is polished again.
void setStyleProperty(QWidget *widget, const char *name, const QString &value)
{
    if (widget->property(name).toString() == value)
        return;
    widget->setProperty(name, value);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
}

} // namespace

CBurnInVerdictView::CBurnInVerdictView(Ui_TabBurnIn &form, QObject *page)
    : QObject(page)
    , m_form(form)
{ }

void CBurnInVerdictView::show(const Qualification::Plan &limits, const BurnInFigures &figures,
    bool judged, const std::optional<Qualification::Plan> &next)
{
    const Qualification::Standing standing = Qualification::standing(figures);
    // A plan out of reach shows in LabelMcbf's warning instead.
    const Qualification::Verdict verdict
        = judged ? Qualification::judge(limits, standing) : Qualification::Verdict::Undecided;
    m_form.LabelVerdict->setText(Qualification::verdictText(verdict));
    setStyleProperty(m_form.LabelVerdict, "verdict", resultsVerdictKey(verdict));

    QString mcbf;
    bool warning = false;
    if (!next && limits.test.isPlan()) {
        // A plan run stands by its failures against the plan's reject count.
        const Qualification::PlanLines lines = Qualification::planLines(limits.test);
        mcbf = QStringLiteral("失效 %1/%2\n%3")
                   .arg(standing.failures)
                   .arg(lines.r0)
                   .arg(Qualification::decisionText(Qualification::decide(
                       limits.test, lines, standing.cycles, standing.failures)));
    } else if (!next) {
        mcbf = QStringLiteral("演示 MCBF %1 次（%2%）")
                   .arg(Qualification::demonstratedMcbf(
                       standing.cycles, standing.failures, limits.confidence))
                   .arg(limits.confidence);
    } else if (next->test.isPlan()) {
        // The plan sets the cards: what a unit that never fails needs, and the most it can take.
        const Qualification::PlanLines lines = Qualification::planLines(next->test);
        PlanPath clean;
        clean.cycles = lines.n0;
        const PlanOutcome accepted = firstDecision(next->test, lines, clean);
        if (accepted.decision == Qualification::PlanDecision::Accept)
            mcbf = QStringLiteral("无故障 %1 张接收\n至多 %2 张").arg(accepted.cycle).arg(lines.n0);
    } else {
        const qint64 needed = Qualification::cardsToDemonstrate(next->targetMcbf, next->confidence);
        if (needed > 0) {
            mcbf = QStringLiteral("无故障至少 %1 张\n可证 MCBF ≥ %2")
                       .arg(needed)
                       .arg(next->targetMcbf);
            warning = needed > next->plannedCards;
        }
    }
    m_form.LabelMcbf->setText(mcbf);
    m_form.LabelMcbf->setToolTip(
        warning ? QStringLiteral("卡数少于可证目标 MCBF 所需的张数") : QString());
    setStyleProperty(m_form.LabelMcbf, "warning", warning ? QStringLiteral("true") : QString());
}
