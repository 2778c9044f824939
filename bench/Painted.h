#pragma once
// Times a user action the way the user feels it: from the key, click or
// call until the window has painted the result in the given widget.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include <cstdio>

class PaintProbe : public QObject
{
public:
    static constexpr int kWaitMs = 5000;

    explicit PaintProbe(QWidget *painted) { painted->installEventFilter(this); }

    // Milliseconds from the start of `action` to the end of the first paint
    // of the widget after it (a paint inside the action counts), waiting up
    // to kWaitMs after the action.
    template <class F>
    double Ms(F &&action)
    {
        QCoreApplication::processEvents();
        m_bPainted = false;
        QElapsedTimer timer;
        timer.start();
        action();
        const qint64 acted = timer.elapsed();
        while (!m_bPainted && timer.elapsed() - acted < kWaitMs)
            QCoreApplication::processEvents();
        if (!m_bPainted)
            std::printf("(no paint within %d ms of the action; it changed nothing on screen)\n", kWaitMs);
        return timer.nsecsElapsed() / 1e6;
    }

    // Paints of the widget so far.
    int Paints() const { return m_nPaints; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        // The paint is over by the time control is back in Ms().
        if (event->type() == QEvent::Paint) {
            m_bPainted = true;
            ++m_nPaints;
        }
        return false;
    }

private:
    bool m_bPainted = false;
    int m_nPaints = 0;
};
