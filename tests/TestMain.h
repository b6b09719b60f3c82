#pragma once

#include "db/ProcessEnd.h"

#include <QTest>

// QTEST_MAIN and QTEST_GUILESS_MAIN, ending the process through db::finishProcess once the test
// object and the application are gone, as the program's own main does.
#define COLETOR_TEST_MAIN_WRAPPER(TestObject, ...)                                                 \
    static int runTests(int argc, char* argv[]) {                                                  \
        QT_PREPEND_NAMESPACE(QTest::Internal::callInitMain)<TestObject>();                         \
        __VA_ARGS__                                                                                \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }                                                                                              \
    int main(int argc, char* argv[]) {                                                             \
        return db::finishProcess(runTests(argc, argv));                                            \
    }

#define COLETOR_TEST_MAIN(TestObject) COLETOR_TEST_MAIN_WRAPPER(TestObject, QTEST_MAIN_SETUP())
#define COLETOR_GUILESS_TEST_MAIN(TestObject)                                                      \
    COLETOR_TEST_MAIN_WRAPPER(TestObject, QTEST_QAPP_SETUP(QCoreApplication))
