#include "core/lock/PreferenceBacked.h"

#include "platform/AppSettings.h"

#include <QHash>

#include <cmath>

namespace {

// Key -> token of the property that writes it. GUI thread only.
QHash<QString, quint64>& writers()
{
    static QHash<QString, quint64> table;
    return table;
}

} // namespace

quint64 PreferenceStore::claim(const QString& key)
{
    static quint64 lastToken = 0;
    writers().insert(key, ++lastToken);
    return lastToken;
}

void PreferenceStore::release(const QString& key, quint64 token)
{
    if (isWriter(key, token)) {
        writers().remove(key);
    }
}

bool PreferenceStore::isWriter(const QString& key, quint64 token)
{
    const auto it = writers().constFind(key);
    return it != writers().cend() && *it == token;
}

QVariant PreferenceStore::read(const QString& key)
{
    return AppSettings::instance().stored(key);
}

void PreferenceStore::write(const QString& key, const QVariant& value)
{
    AppSettings::instance().store(key, value);
}

// The settings file keeps no types: a stored bool reads back as the text "true" or "false",
// a number as its decimal text.
std::optional<bool> PreferenceStore::storedBool(const QVariant& stored)
{
    if (stored.typeId() == QMetaType::Bool) {
        return stored.toBool();
    }
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1String("true")) {
            return true;
        }
        if (text == QLatin1String("false")) {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<double> PreferenceStore::storedDouble(const QVariant& stored)
{
    double value = 0;
    bool ok = false;
    switch (stored.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        value = stored.toDouble(&ok);
        break;
    case QMetaType::QString:
        value = stored.toString().toDouble(&ok);
        break;
    default:
        break;
    }
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}
