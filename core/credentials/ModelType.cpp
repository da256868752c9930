#include "core/credentials/ModelType.h"

QString rawValue(ModelType type)
{
    switch (type) {
    case ModelType::masterPassword:
        return QStringLiteral("masterPassword");
    case ModelType::zipPassword:
        return QStringLiteral("zipPassword");
    }
    return {};
}

QString serviceName(ModelType type)
{
    switch (type) {
    case ModelType::masterPassword:
        return QStringLiteral("de.Tarn-Backup-Manager.MasterPassword");
    case ModelType::zipPassword:
        return QStringLiteral("de.Tarn-Backup-Manager.ZipPassword");
    }
    return {};
}

std::optional<ModelType> modelTypeFromRawValue(const QString& raw)
{
    for (const ModelType type : {ModelType::masterPassword, ModelType::zipPassword}) {
        if (rawValue(type) == raw) {
            return type;
        }
    }
    return std::nullopt;
}
