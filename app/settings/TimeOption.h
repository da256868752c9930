#pragma once

#include <QList>
#include <QString>
#include <QUuid>

// One choice of the automatic-logout timeout: a number of minutes or hours.
struct TimeOption
{
    QUuid id = QUuid::createUuid();
    int time = 0;
    bool isHour = false;
    QString name; // the unit shown after the number

    // "10 Min", "1 St".
    QString label() const;
    // The timeout in seconds.
    double seconds() const;

    // The 17 choices, 2 minutes to 5 hours.
    static QList<TimeOption> all();
};
