#pragma once

#include <QString>

#include <optional>

// Which of the two passwords is meant. The raw value is the password's key in the credential store.
enum class ModelType {
    masterPassword,
    zipPassword,
};

QString rawValue(ModelType type);
// The credential-store service the password is kept under.
QString serviceName(ModelType type);
// Nothing for any other text.
std::optional<ModelType> modelTypeFromRawValue(const QString& raw);
