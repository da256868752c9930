#include "kit/inputs/ConnectionType.h"

namespace {

struct Row
{
    ConnectionType::Value value;
    const char* rawValue;
    const char* urlPrefix;
    const char* symbol;
    const char* alternateSymbol;
};

constexpr Row kRows[] = {
    {ConnectionType::text, "text", "", "t.circle.fill", ""},
    {ConnectionType::password, "password", "", "eye", "eye.slash"},
    {ConnectionType::phone, "phone", "tel:", "phone.fill", ""},
    {ConnectionType::mobile, "mobile", "tel:", "iphone.gen1", ""},
    {ConnectionType::fax, "fax", "tel:", "teletype", ""},
    {ConnectionType::email, "email", "mailto:", "envelope.fill", ""},
    {ConnectionType::deMail, "deMail", "mailto:", "envelope.fill", ""},
    {ConnectionType::web, "web", "https://", "globe", ""},
    {ConnectionType::route, "route", "maps://", "arrow.triangle.turn.up.right.diamond.fill", ""},
};

const Row& rowOf(ConnectionType::Value value)
{
    for (const Row& row : kRows) {
        if (row.value == value)
            return row;
    }
    return kRows[0];
}

} // namespace

std::optional<ConnectionType> ConnectionType::fromRawValue(QStringView rawValue)
{
    for (const Row& row : kRows) {
        if (rawValue == QLatin1StringView(row.rawValue))
            return ConnectionType(row.value);
    }
    return std::nullopt;
}

QList<ConnectionType> ConnectionType::allCases()
{
    QList<ConnectionType> cases;
    for (const Row& row : kRows)
        cases.append(row.value);
    return cases;
}

QString ConnectionType::rawValue() const
{
    return QString::fromLatin1(rowOf(m_value).rawValue);
}

ConnectionType::Details ConnectionType::details() const
{
    const Row& row = rowOf(m_value);
    return {QString::fromLatin1(row.urlPrefix), QString::fromLatin1(row.symbol),
            QString::fromLatin1(row.alternateSymbol)};
}
