#include "ln/LnDiagnostics.h"
#include "ln/LnModel.h"
#include "ln/LnPath.h"
#include "tests/support/StderrCapture.h"

#include <QProcess>
#include <QtTest>

class TestLnDiagnostics : public QObject {
    Q_OBJECT
private slots:
    void warningLine()
    {
        StderrCapture err;
        lnWarning("PovScene::load - No models loaded.\n");
        QCOMPARE(err.text(), QString(" LN WARNING - PovScene::load - No models loaded.\n\n"));
    }

    void longMessagesAreCut()
    {
        const std::string longText(2000, 'x');
        StderrCapture err;
        lnWarning("%s", longText.c_str());
        QCOMPARE(err.text(), " LN WARNING - " + QString(1023, 'x') + "\n");
    }

    void fatalEndsTheProcessWithAFailureStatus()
    {
        QProcess driver;
        driver.start(FATAL_DRIVER, {"LnBoxyMesh::makeDisplayLists: invalid operation\n"});
        QVERIFY(driver.waitForFinished(10000));
        QCOMPARE(driver.exitStatus(), QProcess::NormalExit);
        QVERIFY(driver.exitCode() != 0);
        QCOMPARE(QString(driver.readAllStandardError()),
                 QString("\n\n LN ERROR - LnBoxyMesh::makeDisplayLists: invalid operation\n"
                         " ... exiting\n\n"));
    }

    void fatalCutsLongMessages()
    {
        QProcess driver;
        driver.start(FATAL_DRIVER, {QString(1500, 'y')});
        QVERIFY(driver.waitForFinished(10000));
        QCOMPARE(QString(driver.readAllStandardError()),
                 "\n\n LN ERROR - " + QString(1023, 'y') + " ... exiting\n\n");
    }

    void nameHashValues()
    {
        QCOMPARE(nameHash(""), 5381);
        QCOMPARE(nameHash("abc"), 193485963);
        // Characters above 127 count as negative values.
        QCOMPARE(uint32_t(nameHash("\xff")), uint32_t(5381u * 33u - 1u));
    }

    void registryGivesStrengthSlotZeroOnce()
    {
        const int32_t key = nameHash("strength");
        QCOMPARE(attributeSlot(key), 0);
        QCOMPARE(attributeSlot(key), 0);
        QCOMPARE(attributeCount(), 1);
        for (int i = 1; i < 8; ++i) {
            QCOMPARE(attributeSlot(key + i), i);
        }
        StderrCapture err;
        QCOMPARE(attributeSlot(key + 100), -1);
        QVERIFY(err.text().startsWith(" LN WARNING - "));
        QCOMPARE(attributeCount(), 8);
    }

    void fileTypeTests_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("boxy");
        QTest::addColumn<bool>("smooth");
        QTest::newRow("npr") << "scene.npr" << true << false;
        QTest::newRow("npr then off") << "scene.npr.off" << true << true;
        QTest::newRow("upper-case OFF") << "mesh.OFF" << false << false;
        QTest::newRow("upper-case NPR") << "scene.NPR" << false << false;
        QTest::newRow("ply") << "bunny.ply" << false << true;
        QTest::newRow("obj") << "cow.obj" << false << true;
        QTest::newRow("folder named a.off") << "a.off/model" << false << true;
        QTest::newRow("kmz") << "archive.kmz" << false << false;
    }
    void fileTypeTests()
    {
        QFETCH(QString, path);
        QFETCH(bool, boxy);
        QFETCH(bool, smooth);
        QCOMPARE(isBoxyModelFile(path.toLatin1().constData()), boxy);
        QCOMPARE(isSmoothModelFile(path.toLatin1().constData()), smooth);
    }
};

QTEST_GUILESS_MAIN(TestLnDiagnostics)
#include "tst_LnDiagnostics.moc"
