#pragma once

#include "platform/AppIdentity.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

// Like QTEST_MAIN, but in a TestEnvironment: private folders, screen and keyring, set before the
// application or the test exists.
// The body of a test executable's main(): the test object runs between the application and the end
// of the private session.
#define TARN_TEST_RUN(TestObject, AppType)                                                                             \
    TestEnvironment testEnvironment;                                                                                   \
    AppType app(argc, argv);                                                                                           \
    testEnvironment.startPrivateSession();                                                                             \
    AppIdentity::apply();                                                                                              \
    int testCode = 0;                                                                                                  \
    {                                                                                                                  \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        testCode = QTest::qExec(&tc, argc, argv);                                                                      \
    }                                                                                                                  \
    testEnvironment.endPrivateSession();                                                                               \
    return testCode;

#define TARN_TEST_MAIN_WITH(TestObject, AppType)                                                                       \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        TARN_TEST_RUN(TestObject, AppType)                                                                             \
    }

#define TARN_TEST_MAIN(TestObject) TARN_TEST_MAIN_WITH(TestObject, QCoreApplication)

#ifdef QT_WIDGETS_LIB
#include <QApplication>
#define TARN_TEST_GUI_MAIN(TestObject) TARN_TEST_MAIN_WITH(TestObject, QApplication)
#endif
