#include "app/settings/TimeOption.h"

QString TimeOption::label() const
{
    return QStringLiteral("%1 %2").arg(time).arg(name);
}

double TimeOption::seconds() const
{
    return double(time) * (isHour ? 3600.0 : 60.0);
}

QList<TimeOption> TimeOption::all()
{
    QList<TimeOption> options;
    for (int minutes : {2, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55}) {
        options.append({QUuid::createUuid(), minutes, false, QStringLiteral("Min")});
    }
    for (int hours = 1; hours <= 5; ++hours) {
        options.append({QUuid::createUuid(), hours, true, QStringLiteral("St")});
    }
    return options;
}
