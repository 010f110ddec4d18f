// SPDX-License-Identifier: MIT
#include "shell/maindialog.h"

#include "cardtest/tabkeypad.h"
#include "ui_maindialog.h"

#include <QDebug>
#include <QFont>

namespace {
const char kDeviceLibraryPath[] = "./lib/libvarnak_c.so";
// The list's font weight is 62 on the old 0-99 scale, which the form cannot express; Qt maps
// that weight to the nearest of its named weights, demi-bold.
const QFont::Weight kListWeight = QFont::DemiBold;
} // namespace

MainDialog::MainDialog(QWidget *parent)
    : CustomTopBarDialog(parent)
    , ui(new Ui_MainDialog)
    , m_configDlg(nullptr)
{
    ui->setupUi(this);
    QFont listFont = ui->listWidget->font();
    listFont.setWeight(kListWeight);
    ui->listWidget->setFont(listFont);

    Init(ui->widget_topBar, ui->menuButton_Close, nullptr, nullptr, false, false, true);

    auto *keypad = new TabKeypad(this);
    m_vecPages.push_back(std::make_unique<TabPage>(TabPage{keypad, "密码键盘"}));
    for (const auto &page : m_vecPages)
        ui->stackedWidget->addWidget(page->pPage);
    ui->stackedWidget->setCurrentIndex(0);

    qDebug() << "start load so";
    if (!m_sdk.Init(kDeviceLibraryPath))
        qDebug() << "load libvarnak_c.so failed";

    ui->pushButton_2->setVisible(false);
}

MainDialog::~MainDialog()
{
    // Tests still running on the pool report to the pages and call the library: stop and wait
    // for them before the form, the pages and the library go away.
    stopPages();
    delete ui;
    m_vecPages.clear();
}

void MainDialog::stopPages()
{
    for (const auto &page : m_vecPages) {
        if (auto *keypad = qobject_cast<TabKeypad *>(page->pPage))
            keypad->stopTests();
    }
}

void MainDialog::Log(const QString &str)
{
    ui->EditLog->appendPlainText(str);
    ui->EditLog->moveCursor(QTextCursor::End);
}

int MainDialog::getCom()
{
    return m_configDlg.getCom();
}

char MainDialog::getBP()
{
    return m_configDlg.getBP();
}

int MainDialog::getBaud()
{
    return m_configDlg.getBaud();
}

void MainDialog::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
}

void MainDialog::on_pushButton_2_clicked()
{
    m_configDlg.setWindowModality(Qt::ApplicationModal);
    m_configDlg.show();
}

void MainDialog::on_listWidget_clicked(const QModelIndex &index)
{
    qDebug() << qint64(index.internalId()) << " " << index.row();
    if (index.row() < ui->stackedWidget->count())
        ui->stackedWidget->setCurrentIndex(index.row());
}

void MainDialog::on_pushButton_clicked()
{
    ui->EditLog->clear();
}
