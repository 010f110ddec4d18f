// SPDX-License-Identifier: MIT
#include "config/configdialog.h"

#include "config/rwini.h"
#include "ui_configdialog.h"

#include <QDebug>
#include <QFileInfo>
#include <QIntValidator>

namespace {

const char kConfigFile[] = "config.ini";
const char kGroup[] = "com";
const char kPortKey[] = "port";
const char kBpKey[] = "bp";
const char kBaudKey[] = "baud";

const int kDefaultPort = 0;
const int kDefaultBaud = 9600;
// The ports an operator may type; 0 is the HID connection, n the serial device ttyS(n - 1).
const int kMinPort = 0;
const int kMaxPort = 100;

const int kNoBpIndex = 0;

// The BP port's entries after "无", in the order of the combo box; the file may hold either case.
struct BpEntry
{
    const char *upper;
    const char *lower;
    int index;
};
const BpEntry kBpEntries[] = {{"A", "a", 1}, {"B", "b", 2}, {"C", "c", 3}, {"K", "k", 4}};

int bpIndex(const QString &stored)
{
    for (const BpEntry &entry : kBpEntries) {
        if (stored == QLatin1String(entry.upper) || stored == QLatin1String(entry.lower))
            return entry.index;
    }
    return kNoBpIndex;
}

// QIntValidator lets a number above its top be typed while it has no more digits than the top
// (101 for 0 to 100), as a step towards a valid one. A port field has no such step to offer, so
// it refuses the key at once.
class PortValidator : public QIntValidator
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
    ui->EditCom->setValidator(new PortValidator(kMinPort, kMaxPort, ui->EditCom));
    loadSettings();
}

ConfigDialog::~ConfigDialog() = default;

void ConfigDialog::loadSettings()
{
    // Setting any port but 0 changes the field, and so runs the label rule.
    const int port = RWIni::load(kConfigFile, kGroup, kPortKey, kDefaultPort);
    ui->EditCom->setText(QString::number(port));

    ui->CbxBP->setCurrentIndex(bpIndex(RWIni::load(kConfigFile, kGroup, kBpKey, QString())));

    // A rate the box does not offer leaves it on its first entry.
    const int baud = RWIni::load(kConfigFile, kGroup, kBaudKey, kDefaultBaud);
    const int baudIndex = ui->CbxBaud->findText(QString::number(baud));
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

    const bool portStored = RWIni::save(kConfigFile, kGroup, kPortKey, com);
    const bool bpStored = bp != 0
        ? RWIni::save(kConfigFile, kGroup, kBpKey, QString(QLatin1Char(bp)))
        : RWIni::save(kConfigFile, kGroup, kBpKey, 0);
    const bool baudStored = RWIni::save(kConfigFile, kGroup, kBaudKey, baud);
    // The operator is never told, but whoever reads the log should learn why the settings are
    // gone at the next start.
    if (!portStored || !bpStored || !baudStored)
        qWarning().noquote() << "save config.ini failed: could not write"
                             << QFileInfo(kConfigFile).absoluteFilePath();

    close();
}
