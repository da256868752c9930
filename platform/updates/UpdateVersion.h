#pragma once

#include <QList>
#include <QString>

#include <optional>

// Release versions of numeric dotted components ("1", "1.2", "10.0.3"). Missing trailing components
// count as zero, so "1.2" equals "1.2.0".
namespace UpdateVersion {

// Longest version text accepted, and most digits per component.
constexpr int maximumLength = 64;
constexpr int maximumComponentDigits = 9;

// The components of a version text (surrounding white space ignored), or nothing when it is not one.
std::optional<QList<int>> parse(const QString& text);

// Negative, zero or positive as a is older than, equal to or newer than b.
int compare(const QList<int>& a, const QList<int>& b);

} // namespace UpdateVersion
