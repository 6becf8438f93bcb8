// How long the main loop went without turning while a benchmark ran: a fast timer notes the longest gap
// between two of its ticks, which is the longest time a window would have stood without repainting.
#pragma once

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>

class TStallMeter
{
public:
    static constexpr int kTickMs = 2;

    // Starts measuring from the next turn of the loop.
    TStallMeter()
    {
        ticker_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker_, &QTimer::timeout, [this] { Note(); });
        ticker_.start(kTickMs);
        QCoreApplication::processEvents();
        last_ = TClock::now();
    }

    // Counts the time since the last tick as a stall too, for work that ran without giving the loop a turn.
    void Note()
    {
        const TClock::time_point now = TClock::now();
        longestMs_ = std::max(longestMs_, std::chrono::duration<double, std::milli>(now - last_).count());
        last_ = now;
    }

    double LongestMs() const { return longestMs_; }

private:
    using TClock = std::chrono::steady_clock;
    QTimer ticker_;
    TClock::time_point last_ = TClock::now();
    double longestMs_ = 0;
};
