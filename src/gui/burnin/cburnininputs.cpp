// SPDX-License-Identifier: MIT
#include "gui/burnin/cburnininputs.h"

#include "ui_tabburnin.h"

#include <QSignalBlocker>

#include <algorithm>
#include <iterator>

using Qualification::PlanKind;

namespace {

// ComboConnection's items, in order.
enum ConnectionChoice { FixedConnection, SettingsConnection };

// ComboPlan's items, each with the word config.ini and the command line give for it: the bound
// first, as the page has always judged, then the plans, the handbook's in the table's order.
void fillPlans(QComboBox *combo)
{
    combo->addItem(QStringLiteral("置信下限"), QStringLiteral("bound"));
    combo->addItem(QStringLiteral("序贯试验"), QStringLiteral("sequential"));
    combo->addItem(QStringLiteral("定时试验"), QStringLiteral("fixed"));
    for (const Qualification::NamedPlan &plan : Qualification::namedPlans())
        combo->addItem(QLatin1String(plan.name), QLatin1String(plan.name));
}

// In the command line's spelling, which parseDiscrimination takes.
void fillDiscriminations(QComboBox *combo)
{
    for (double discrimination : Qualification::kDiscriminations)
        combo->addItem(QString::number(discrimination, 'g', 3), discrimination);
}

void setCurrentData(QComboBox *combo, const QVariant &data)
{
    combo->setCurrentIndex(std::max(0, combo->findData(data)));
}

} // namespace

CBurnInInputs::CBurnInInputs(Ui_TabBurnIn &form, QObject *page)
    : QObject(page)
    , m_form(form)
{
    fillPlans(m_form.ComboPlan);
    fillDiscriminations(m_form.ComboDiscrimination);
    setOptions(BurnInConfig::load());
    connect(m_form.SpinCount, qOverload<int>(&QSpinBox::valueChanged), this, [this](int cards) {
        // Only a person changes it while the bound is chosen; showPlan() writes n0 silently.
        if (!plan(nullptr).isPlan())
            m_typedCards = cards;
        emit changed();
    });
    const auto planChanged = [this] {
        showPlan();
        emit changed();
    };
    for (QComboBox *combo : {m_form.ComboPlan, m_form.ComboDiscrimination})
        connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this, planChanged);
    for (QLineEdit *edit : {m_form.EditMcbfLower, m_form.EditProducerRisk, m_form.EditConsumerRisk})
        connect(edit, &QLineEdit::textChanged, this, planChanged);
    connect(m_form.SpinTargetMcbf, qOverload<int>(&QSpinBox::valueChanged), this,
        &CBurnInInputs::changed);
    connect(m_form.ComboConfidence, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        emit changed();
        emit confidenceChanged(confidence());
    });
}

BurnInOptions CBurnInInputs::options() const
{
    BurnInOptions options;
    // SpinCount shows a plan's n0 while one is chosen; the job plans those cards itself.
    options.settings.cards = m_typedCards;
    options.settings.mode
        = m_form.RadioHandOut->isChecked() ? BurnInMode::HandOut : BurnInMode::Capture;
    options.settings.stopOnFailure = m_form.CheckStopOnFailure->isChecked();
    options.settings.hangGrace = m_hangGrace;
    options.unit
        = {m_form.EditSerial->text(), m_form.EditModel->text(), m_form.EditOperator->text()};
    options.limits.targetMcbf = m_form.SpinTargetMcbf->value();
    options.limits.confidence = confidence();
    options.limits.maxP95Seconds = m_form.SpinMaxP95->value();
    options.limits.earlyFail = m_form.CheckEarlyFail->isChecked();
    options.limits.test = plan(nullptr);
    options.limits.plannedCards = options.settings.cards;
    if (options.limits.test.isPlan()) {
        const Qualification::PlanLines lines = Qualification::planLines(options.limits.test);
        options.limits.plannedCards = lines.valid && planError().isEmpty() ? int(lines.n0) : 0;
    }
    options.settingsConnection = m_form.ComboConnection->currentIndex() == SettingsConnection;
    return options;
}

QString CBurnInInputs::planError() const
{
    QString error;
    plan(&error);
    return error;
}

Qualification::TestPlan CBurnInInputs::plan(QString *error) const
{
    QString ignored;
    QString *problem = error ? error : &ignored;
    Qualification::TestPlan plan;
    // Before the plan: parsePlan keeps a discrimination it allows, and gives a named plan its own.
    plan.discrimination = m_form.ComboDiscrimination->currentData().toDouble();
    BurnInConfig::parsePlan(m_form.ComboPlan->currentData().toString(), &plan, problem);
    if (!plan.isPlan()
        || !BurnInConfig::parseMcbfLower(m_form.EditMcbfLower->text(), &plan.mcbfLower, problem)
        || plan.kind == PlanKind::Named)
        return plan;
    if (BurnInConfig::parseDiscrimination(
            m_form.ComboDiscrimination->currentText(), &plan.discrimination, problem)
        && BurnInConfig::parseRisk(m_form.EditProducerRisk->text(), &plan.producerRisk, problem))
        BurnInConfig::parseRisk(m_form.EditConsumerRisk->text(), &plan.consumerRisk, problem);
    return plan;
}

void CBurnInInputs::showPlan()
{
    QString error;
    const Qualification::TestPlan test = plan(&error);
    const bool bound = !test.isPlan();
    for (QWidget *limit :
        {static_cast<QWidget *>(m_form.SpinCount), static_cast<QWidget *>(m_form.SpinTargetMcbf),
            static_cast<QWidget *>(m_form.ComboConfidence),
            static_cast<QWidget *>(m_form.SpinMaxP95),
            static_cast<QWidget *>(m_form.CheckEarlyFail)})
        limit->setEnabled(m_enabled && bound);
    m_form.ComboPlan->setEnabled(m_enabled);
    m_form.EditMcbfLower->setEnabled(m_enabled && !bound);
    const bool ownInputs = !bound && test.kind != PlanKind::Named;
    for (QWidget *input : {static_cast<QWidget *>(m_form.ComboDiscrimination),
             static_cast<QWidget *>(m_form.EditProducerRisk),
             static_cast<QWidget *>(m_form.EditConsumerRisk)})
        input->setEnabled(m_enabled && ownInputs);
    if (test.kind == PlanKind::Named) {
        const QSignalBlocker blocker(m_form.ComboDiscrimination);
        setCurrentData(m_form.ComboDiscrimination, test.discrimination);
    }

    // The plan sets the cards: n0, or a dash while its fields give none.
    const QSignalBlocker blocker(m_form.SpinCount);
    const Qualification::PlanLines lines = Qualification::planLines(test);
    const bool planned = !bound && error.isEmpty() && lines.valid;
    m_form.SpinCount->setMaximum(
        int(std::max<qint64>(BurnInConfig::kMaxCards, planned ? lines.n0 : 0)));
    m_form.SpinCount->setSpecialValueText(bound || planned ? QString() : QStringLiteral("—"));
    m_form.SpinCount->setValue(bound ? m_typedCards
            : planned                ? int(lines.n0)
                                     : m_form.SpinCount->minimum());
    m_form.SpinCount->setToolTip(bound ? QString() : QStringLiteral("卡数由试验方案定"));
}

void CBurnInInputs::setOptions(const BurnInOptions &options)
{
    m_typedCards = options.settings.cards;
    m_form.SpinCount->setValue(options.settings.cards);
    (options.settings.mode == BurnInMode::HandOut ? m_form.RadioHandOut : m_form.RadioCapture)
        ->setChecked(true);
    m_form.CheckStopOnFailure->setChecked(options.settings.stopOnFailure);
    m_hangGrace = options.settings.hangGrace;
    m_form.EditModel->setText(options.unit.model);
    m_form.EditOperator->setText(options.unit.operatorName);
    m_form.SpinTargetMcbf->setValue(int(options.limits.targetMcbf));
    const auto *known = std::find(std::begin(BurnInConfig::kConfidences),
        std::end(BurnInConfig::kConfidences), options.limits.confidence);
    m_form.ComboConfidence->setCurrentIndex(known == std::end(BurnInConfig::kConfidences)
            ? 0
            : int(known - std::begin(BurnInConfig::kConfidences)));
    m_form.SpinMaxP95->setValue(options.limits.maxP95Seconds);
    m_form.CheckEarlyFail->setChecked(options.limits.earlyFail);
    const Qualification::TestPlan &test = options.limits.test;
    m_form.EditMcbfLower->setText(test.mcbfLower > 0 ? QString::number(test.mcbfLower) : QString());
    setCurrentData(m_form.ComboDiscrimination, test.discrimination);
    m_form.EditProducerRisk->setText(QString::number(test.producerRisk));
    m_form.EditConsumerRisk->setText(QString::number(test.consumerRisk));
    setCurrentData(m_form.ComboPlan, Qualification::planKey(test));
    showPlan();
    m_form.ComboConnection->setCurrentIndex(
        options.settingsConnection ? SettingsConnection : FixedConnection);
}

int CBurnInInputs::confidence() const
{
    const int index = m_form.ComboConfidence->currentIndex();
    return index >= 0 && index < int(std::size(BurnInConfig::kConfidences))
        ? BurnInConfig::kConfidences[index]
        : Qualification::kDefaultConfidence;
}

void CBurnInInputs::setEnabled(bool enabled)
{
    m_enabled = enabled;
    for (QWidget *input :
        {static_cast<QWidget *>(m_form.RadioCapture), static_cast<QWidget *>(m_form.RadioHandOut),
            static_cast<QWidget *>(m_form.CheckStopOnFailure),
            static_cast<QWidget *>(m_form.ComboConnection),
            static_cast<QWidget *>(m_form.BtnComSettings),
            static_cast<QWidget *>(m_form.EditSerial), static_cast<QWidget *>(m_form.EditModel),
            static_cast<QWidget *>(m_form.EditOperator)})
        input->setEnabled(enabled);
    // The count, the limits and the plan's fields, as the way of judging chosen allows.
    showPlan();
}

ComSettings CBurnInInputs::connection(const ComSettings &settings) const
{
    if (m_form.ComboConnection->currentIndex() == SettingsConnection)
        return settings;
    const DeviceArguments::Connection fixed;
    return {fixed.port, fixed.bp, fixed.baud};
}
