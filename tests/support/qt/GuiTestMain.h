#pragma once
// The main of a test of the tool's windows: the application object and look the tool itself
// has, so that fonts, and with them every measured width, are the ones installers see.
#include <QTest>

#include "app/Application.h"
#include "ui/Formtools.h"

#define ZEM_GUI_TEST_MAIN(TestClass)                \
    int main(int argc, char** argv)                 \
    {                                               \
        TApplication app(argc, argv);               \
        SetupApplicationLook(app);                  \
        TestClass test;                             \
        return QTest::qExec(&test, argc, argv);     \
    }
