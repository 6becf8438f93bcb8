// The scheduled update check: which starts check, by the date parts of the previous start and today.
#include "update/schedule.h"

#include <QtTest>

class TestSchedule : public QObject
{
    Q_OBJECT

private slots:
    void due_data();
    void due();
    void dateParts_data();
    void dateParts();
};

void TestSchedule::due_data()
{
    QTest::addColumn<int>("checkUpdates");
    QTest::addColumn<QDate>("lastRun");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<bool>("due");

    struct TRow
    {
        const char* name;
        int check;
        QDate last, today;
        bool due;
    };
    const QDate d0305(2026, 3, 5);
    // clang-format off
    const TRow rows[] = {
        {"never, long pause", cuNever, QDate(2020, 1, 1), d0305, false},
        {"daily, later day", cuDaily, QDate(2026, 3, 3), d0305, true},
        {"daily, same day", cuDaily, d0305, d0305, false},
        {"daily, earlier day", cuDaily, QDate(2026, 3, 6), d0305, false},
        {"daily, 1st after 31st", cuDaily, QDate(2026, 1, 31), QDate(2026, 2, 1), false},
        {"daily, next month on a later day", cuDaily, QDate(2026, 1, 2), QDate(2026, 2, 3), true},
        {"daily, across the year", cuDaily, QDate(2025, 12, 31), QDate(2026, 1, 1), false},
        {"daily, next year on a later day", cuDaily, QDate(2025, 12, 1), QDate(2026, 1, 2), true},
        {"daily, first start ever", cuDaily, QDate(1900, 1, 1), d0305, true},
        {"daily, first start ever on the 1st", cuDaily, QDate(1900, 1, 1), QDate(2026, 3, 1), false},
        {"weekly, eight days", cuWeekly, QDate(2026, 3, 1), QDate(2026, 3, 9), true},
        {"weekly, seven days", cuWeekly, QDate(2026, 3, 1), QDate(2026, 3, 8), false},
        {"weekly, same day", cuWeekly, d0305, d0305, false},
        {"weekly, month boundary", cuWeekly, QDate(2026, 1, 25), QDate(2026, 2, 10), false},
        {"weekly, a month later on a later day", cuWeekly, QDate(2026, 1, 1), QDate(2026, 2, 20), true},
        {"weekly, across the year", cuWeekly, QDate(2025, 12, 20), QDate(2026, 1, 15), false},
        {"weekly, today in the first week", cuWeekly, QDate(1900, 1, 1), QDate(2026, 3, 7), false},
        {"monthly, next month", cuMonthly, QDate(2026, 1, 31), QDate(2026, 2, 1), true},
        {"monthly, same month", cuMonthly, QDate(2026, 3, 1), QDate(2026, 3, 31), false},
        {"monthly, January after December", cuMonthly, QDate(2025, 12, 1), QDate(2026, 1, 31), false},
        {"monthly, a year later, earlier month", cuMonthly, QDate(2025, 6, 1), QDate(2026, 5, 1), false},
        {"monthly, a year later, later month", cuMonthly, QDate(2025, 6, 1), QDate(2026, 7, 1), true},
        {"monthly, first start ever", cuMonthly, QDate(1900, 1, 1), QDate(2026, 2, 1), true},
        {"value 4", 4, QDate(1900, 1, 1), QDate(2026, 12, 31), false},
        {"value 255", 255, QDate(1900, 1, 1), QDate(2026, 12, 31), false},
    };
    // clang-format on
    for (const TRow& row : rows)
        QTest::newRow(row.name) << row.check << row.last << row.today << row.due;
}

void TestSchedule::due()
{
    QFETCH(int, checkUpdates);
    QFETCH(QDate, lastRun);
    QFETCH(QDate, today);
    QFETCH(bool, due);
    auto parts = [](QDate d) { return TDateParts{d.year(), unsigned(d.month()), unsigned(d.day())}; };
    QCOMPARE(ScheduledCheckDue(static_cast<std::uint8_t>(checkUpdates), parts(lastRun), parts(today)), due);
}

void TestSchedule::dateParts_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QDate>("date");
    QTest::newRow("missing LastRun") << kLastRunDefault << QDate(1900, 1, 1);
    QTest::newRow("epoch") << 0.0 << QDate(1899, 12, 30);
    QTest::newRow("late evening") << 2.999 << QDate(1900, 1, 1);
    QTest::newRow("leap day") << double(QDate(1899, 12, 30).daysTo(QDate(2024, 2, 29))) + 0.5 << QDate(2024, 2, 29);
    QTest::newRow("new year's eve") << double(QDate(1899, 12, 30).daysTo(QDate(2025, 12, 31))) + 0.75
                                    << QDate(2025, 12, 31);
    QTest::newRow("before the epoch") << -1.25 << QDate(1899, 12, 29);
}

void TestSchedule::dateParts()
{
    QFETCH(double, value);
    QFETCH(QDate, date);
    const TDateParts parts = DatePartsOf(value);
    QCOMPARE(QDate(parts.Year, int(parts.Month), int(parts.Day)), date);
}

QTEST_APPLESS_MAIN(TestSchedule)
#include "test_schedule.moc"
