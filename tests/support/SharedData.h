#pragma once
// The main function of a test program with cases on the shared real files
// (KELVANE_SHARED_DATA, beside the repository). Without them those cases
// skip; when everything else passed the program then exits with 77, which
// CTest reports as a skipped test rather than a pass.

#include <QFileInfo>
#include <QtTest>

inline int skipWithoutSharedData(int status)
{
    if (status != 0 || QFileInfo(QStringLiteral(KELVANE_SHARED_DATA)).isDir()) {
        return status;
    }
    qInfo("%s is absent: the cases on real files were skipped", KELVANE_SHARED_DATA);
    return 77;
}

#define KELVANE_TEST_MAIN(TestObject)                                                              \
    static int runTests(int argc, char* argv[]) { QTEST_MAIN_IMPL(TestObject) }                   \
    int main(int argc, char* argv[]) { return skipWithoutSharedData(runTests(argc, argv)); }

#define KELVANE_TEST_GUILESS_MAIN(TestObject)                                                      \
    static int runTests(int argc, char* argv[])                                                    \
    {                                                                                              \
        QCoreApplication app(argc, argv);                                                          \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }                                                                                              \
    int main(int argc, char* argv[]) { return skipWithoutSharedData(runTests(argc, argv)); }
