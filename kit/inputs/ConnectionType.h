#pragma once

#include <QList>
#include <QString>

#include <optional>

// The kind of content a text field holds. Only `password` changes a field's behaviour; the URL
// prefixes and symbols of the other kinds are kept for callers that present or open the content.
class ConnectionType
{
public:
    enum Value { text, password, phone, mobile, fax, email, deMail, web, route };

    struct Details
    {
        QString urlPrefix;
        QString symbol;
        QString alternateSymbol;
    };

    constexpr ConnectionType(Value value = text)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    // Exact, case-sensitive match of a raw value; anything else gives no value.
    static std::optional<ConnectionType> fromRawValue(QStringView rawValue);
    static QList<ConnectionType> allCases();

    QString rawValue() const;
    Details details() const;

private:
    Value m_value;
};
