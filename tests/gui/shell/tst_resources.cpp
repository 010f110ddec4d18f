// SPDX-License-Identifier: MIT
#include <QtTest>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>

namespace {

const QString kPrefix = QStringLiteral(":/new/prefix1/res/");

struct Image
{
    const char *name;
    QSize size;
};

const Image kImages[] = {
    {"tovel.png", {512, 512}},
    {"logo.png", {189, 37}},
    {"favicon.ico", {256, 256}},
    {"close_up.png", {16, 16}},
    {"close_down.png", {16, 16}},
    {"config_up.png", {23, 22}},
    {"config_down.png", {23, 22}},
    {"clear-normal.png", {28, 28}},
    {"clear-move.png", {28, 28}},
    {"icon_keypad_1.png", {28, 28}},
    {"combobox.png", {109, 30}},
    {"down_arrow.png", {12, 12}},
    {"icon_sign_1.png", {28, 28}},
    {"icon_eva_num_1.png", {28, 28}},
    {"icon_basic_1.png", {28, 28}},
    {"icon_basic_2.png", {28, 28}},
    {"icon_burnin_1.png", {28, 28}},
};

// Filled in before the application object exists: the collections must be registered by static
// initialisation, not by anything that runs later.
QStringList g_missingBeforeApplication;

} // namespace

class tst_Resources : public QObject
{
    Q_OBJECT

private slots:
    void registeredBeforeApplication();
    void images_data();
    void images();
    void faviconIsOneUncompressedBitmap();
    void logoUsesAPalette();
};

void tst_Resources::registeredBeforeApplication()
{
    QVERIFY2(
        g_missingBeforeApplication.isEmpty(), qPrintable(g_missingBeforeApplication.join(' ')));
}

void tst_Resources::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const Image &image : kImages)
        QTest::newRow(image.name) << kPrefix + image.name << image.size;
}

void tst_Resources::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QImageReader reader(path);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    if (path.endsWith(".png") && !path.endsWith("logo.png"))
        QVERIFY(image.hasAlphaChannel());
}

void tst_Resources::faviconIsOneUncompressedBitmap()
{
    QFile file(kPrefix + "favicon.ico");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 270398);
    // One image, stored as a 32-bit bitmap rather than as PNG.
    QCOMPARE(bytes.mid(0, 6), QByteArray("\0\0\1\0\1\0", 6));
    QCOMPARE(bytes.mid(22, 4), QByteArray("\x28\0\0\0", 4));
    QCOMPARE(quint8(bytes.at(22 + 14)), quint8(32));
}

void tst_Resources::logoUsesAPalette()
{
    const QImage logo(kPrefix + "logo.png");
    QCOMPARE(logo.format(), QImage::Format_Indexed8);
}

int main(int argc, char *argv[])
{
    for (const Image &image : kImages) {
        if (!QFile::exists(kPrefix + image.name))
            g_missingBeforeApplication << image.name;
    }
    QApplication app(argc, argv);
    tst_Resources test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resources.moc"
