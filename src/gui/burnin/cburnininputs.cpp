// SPDX-License-Identifier: MIT
#include "gui/burnin/cburnininputs.h"

#include "ui_tabburnin.h"

#include <algorithm>
#include <iterator>

namespace {

// ComboConnection's items, in order.
enum ConnectionChoice { FixedConnection, SettingsConnection };

} // namespace

CBurnInInputs::CBurnInInputs(Ui_TabBurnIn &form, QObject *page)
    : QObject(page)
    , m_form(form)
{
    setOptions(BurnInConfig::load());
    connect(
        m_form.SpinCount, qOverload<int>(&QSpinBox::valueChanged), this, &CBurnInInputs::changed);
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
    options.settings.cards = m_form.SpinCount->value();
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
    options.limits.plannedCards = options.settings.cards;
    options.settingsConnection = m_form.ComboConnection->currentIndex() == SettingsConnection;
    return options;
}

void CBurnInInputs::setOptions(const BurnInOptions &options)
{
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
    for (QWidget *input :
        {static_cast<QWidget *>(m_form.SpinCount), static_cast<QWidget *>(m_form.RadioCapture),
            static_cast<QWidget *>(m_form.RadioHandOut),
            static_cast<QWidget *>(m_form.CheckStopOnFailure),
            static_cast<QWidget *>(m_form.ComboConnection),
            static_cast<QWidget *>(m_form.BtnComSettings),
            static_cast<QWidget *>(m_form.EditSerial), static_cast<QWidget *>(m_form.EditModel),
            static_cast<QWidget *>(m_form.EditOperator),
            static_cast<QWidget *>(m_form.SpinTargetMcbf),
            static_cast<QWidget *>(m_form.ComboConfidence),
            static_cast<QWidget *>(m_form.SpinMaxP95),
            static_cast<QWidget *>(m_form.CheckEarlyFail)})
        input->setEnabled(enabled);
}

ComSettings CBurnInInputs::connection(const ComSettings &settings) const
{
    if (m_form.ComboConnection->currentIndex() == SettingsConnection)
        return settings;
    const DeviceArguments::Connection fixed;
    return {fixed.port, fixed.bp, fixed.baud};
}
