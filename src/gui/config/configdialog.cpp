// SPDX-License-Identifier: MIT
#include "gui/config/configdialog.h"

#include "engine/settings/comsettings.h"
#include "ui_configdialog.h"

#include <QDebug>
#include <QFileInfo>
#include <QIntValidator>

#include <algorithm>

namespace {

const char kConfigFile[] = "config.ini";

const int kNoBpIndex = 0;

// The BP box lists "无" and then the offered letters in their order.
int bpIndex(char bp)
{
    const auto &letters = ComSettings::kBpLetters;
    const auto found = std::find(letters.begin(), letters.end(), bp);
    return found == letters.end() ? kNoBpIndex : int(found - letters.begin()) + 1;
}

// QIntValidator lets a number above its top be typed while it has no more digits than the top
// (101 for 0 to 100), as a step towards a valid one. A port field has no such step to offer, so
// it refuses the key at once.
class CPortValidator : public QIntValidator
{
public:
    using QIntValidator::QIntValidator;

    State validate(QString &input, int &pos) const override
    {
        const State state = QIntValidator::validate(input, pos);
        bool isNumber = false;
        const int value = locale().toInt(input, &isNumber);
        return state == Intermediate && isNumber && value > top() ? Invalid : state;
    }
};

QString portLabel(int port)
{
    if (port == 0)
        return QStringLiteral("(HID)");
    // Wider than int: a port read from the file may be as low as the type allows.
    return QStringLiteral("(ttyS%1)").arg(qint64(port) - 1);
}

} // namespace

ConfigDialog::ConfigDialog(QWidget *parent)
    : CustomTopBarDialog(parent)
    , ui(std::make_unique<Ui_ConfigDialog>())
{
    ui->setupUi(this);
    Init(ui->widget_topBar, ui->menuButton_Close, nullptr, nullptr, false, false, true);
    // Governs typing only: a port set by the program, as the one loaded below, is shown as is.
    ui->EditCom->setValidator(
        new CPortValidator(ComSettings::kMinPort, ComSettings::kMaxPort, ui->EditCom));
    loadSettings();
}

ConfigDialog::~ConfigDialog() = default;

void ConfigDialog::loadSettings()
{
    const ComSettings settings = loadComSettings(kConfigFile);
    // Setting any port but 0 changes the field, and so runs the label rule.
    ui->EditCom->setText(QString::number(settings.port));
    ui->CbxBP->setCurrentIndex(bpIndex(settings.bp));
    const int baudIndex = ui->CbxBaud->findText(QString::number(settings.baud));
    if (baudIndex >= 0)
        ui->CbxBaud->setCurrentIndex(baudIndex);
}

int ConfigDialog::getCom() const
{
    return ui->EditCom->text().toInt();
}

char ConfigDialog::getBP() const
{
    const QString text = ui->CbxBP->currentText();
    if (text == QStringLiteral("无"))
        return 0;
    return text.toLocal8Bit().constData()[0];
}

int ConfigDialog::getBaud() const
{
    return ui->CbxBaud->currentText().toInt();
}

void ConfigDialog::on_EditCom_textChanged(const QString &arg1)
{
    const int port = arg1.toInt();
    ui->LabelCom->setText(portLabel(port));
    // Shows an emptied field as 0 and drops leading zeros. Setting the text that is already
    // there signals nothing, so this runs at most once more per edit.
    ui->EditCom->setText(QString::number(port));
}

void ConfigDialog::on_BtnComSave_clicked()
{
    qDebug() << "保存通讯配置";

    const int com = getCom();
    const char bp = getBP();
    const int baud = getBaud();
    if (bp == 0)
        qDebug() << QString::asprintf(
            ">>>保存内容: 端口（%d），BP口（无），波特率（%d）", com, baud);
    else
        qDebug() << QString::asprintf(
            ">>>保存内容: 端口（%d），BP口（%c），波特率（%d）", com, bp, baud);

    // The operator is never told, but whoever reads the log should learn why the settings are
    // gone at the next start.
    if (!saveComSettings(kConfigFile, ComSettings {com, bp, baud}))
        qWarning().noquote() << "save config.ini failed: could not write"
                             << QFileInfo(kConfigFile).absoluteFilePath();

    close();
}
