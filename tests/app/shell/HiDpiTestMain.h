#pragma once

#include "platform/AppIdentity.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QtTest>

// Like TARN_TEST_GUI_MAIN, on the headless screens of the given configuration file, every one of
// them at 200 %: the scale is set before the application reads it.
#define TARN_TEST_HIDPI_MAIN(TestObject, screensFile)                                                                  \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        qputenv("QT_SCALE_FACTOR", "2");                                                                               \
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + screensFile);                                 \
        TARN_TEST_RUN(TestObject, QApplication)                                                                        \
    }
