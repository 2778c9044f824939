#pragma once
// Every test's cleanup: no window of the test may be left open.

#include <QApplication>
#include <QTest>
#include <QWidget>

inline void verifyNoWindowLeftOpen()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->metaObject()->className() + (" " + w->objectName()) + " left open"));
}
