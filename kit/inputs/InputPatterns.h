#pragma once

#include <QString>

#include <optional>

// The restriction and warning patterns of a text field, applied to each new value of its buffer.
// A restriction pattern removes every match and warns; a warning pattern, tried only when there is
// no restriction pattern, only warns. A pattern that does not compile disables both checks.
namespace InputPatterns {

struct Outcome
{
    QString text;
    bool warn = false;
};

Outcome apply(const std::optional<QString>& restrictRegex, const std::optional<QString>& warnRegex,
              const QString& text);

} // namespace InputPatterns
