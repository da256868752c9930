#pragma once

#include "platform/AppIdentity.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

// Like QTEST_MAIN, but with a private HOME and XDG folders set before the application exists.
#define TARN_TEST_MAIN_WITH(TestObject, AppType)                                                                       \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        TestEnvironment testEnvironment;                                                                               \
        AppType app(argc, argv);                                                                                       \
        AppIdentity::apply();                                                                                          \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }

#define TARN_TEST_MAIN(TestObject) TARN_TEST_MAIN_WITH(TestObject, QCoreApplication)

#ifdef QT_WIDGETS_LIB
#include <QApplication>
#define TARN_TEST_GUI_MAIN(TestObject) TARN_TEST_MAIN_WITH(TestObject, QApplication)
#endif
