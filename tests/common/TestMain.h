#pragma once

// Test mains that leave the process without running the libraries' static
// destructors. Qt Multimedia's PulseAudio engine (Qt 6.4) is a global that
// stops its PulseAudio thread from a static destructor; now and then libpulse
// asserts in that thread and a test that has passed aborts at exit.
// Everything the test owns (its object, the application) is destroyed before
// the exit, as with QTEST_MAIN.

#include <QTest>

#if defined(QT_WIDGETS_LIB)
#include <QApplication>
using OrvaneTestApplication = QApplication;
#elif defined(QT_GUI_LIB)
#include <QGuiApplication>
using OrvaneTestApplication = QGuiApplication;
#else
using OrvaneTestApplication = QCoreApplication;
#endif

#include <cstdio>
#include <cstdlib>

namespace orvane_test {

template<typename Application, typename TestObject>
int run(int argc, char *argv[])
{
    Application app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestObject tc;
    return QTest::qExec(&tc, argc, argv);
}

[[noreturn]] inline void exitNow(int code)
{
    std::fflush(nullptr);
    std::_Exit(code);
}

} // namespace orvane_test

#define ORVANE_TEST_MAIN(TestObject)                                                           \
    int main(int argc, char *argv[])                                                           \
    {                                                                                          \
        QTEST_SET_MAIN_SOURCE_PATH                                                             \
        orvane_test::exitNow(orvane_test::run<OrvaneTestApplication, TestObject>(argc, argv)); \
    }

#define ORVANE_TEST_GUILESS_MAIN(TestObject)                                                   \
    int main(int argc, char *argv[])                                                           \
    {                                                                                          \
        QTEST_SET_MAIN_SOURCE_PATH                                                             \
        orvane_test::exitNow(orvane_test::run<QCoreApplication, TestObject>(argc, argv));      \
    }
