#pragma once

#include <QString>
#include <QVariant>

#include <optional>
#include <type_traits>

namespace PreferenceStore {

// Makes the caller the one writer of the key, ending the claim of any earlier property.
quint64 claim(const QString& key);
void release(const QString& key, quint64 token);
bool isWriter(const QString& key, quint64 token);

// The application's preferences (QSettings of the app's domain).
QVariant read(const QString& key);
void write(const QString& key, const QVariant& value);

// A stored value of the given type, or nothing when it is absent or of another type.
std::optional<bool> storedBool(const QVariant& stored);
std::optional<double> storedDouble(const QVariant& stored);

} // namespace PreferenceStore

// A value kept in the application's preferences under a key: the first value is the stored one
// (the default when it is absent or of another type), and every value, the first included, is
// written back. Of several properties of one key, the one created last writes it.
template <typename T>
class PreferenceBacked
{
    static_assert(std::is_same_v<T, bool> || std::is_same_v<T, double>, "bool and double preferences only");

public:
    PreferenceBacked(const QString& key, T defaultValue)
        : m_key(key)
        , m_value(stored(key).value_or(defaultValue))
        , m_token(PreferenceStore::claim(key))
    {
        writeBack();
    }
    ~PreferenceBacked() { PreferenceStore::release(m_key, m_token); }

    PreferenceBacked(const PreferenceBacked&) = delete;
    PreferenceBacked& operator=(const PreferenceBacked&) = delete;

    QString key() const { return m_key; }
    T value() const { return m_value; }
    void set(T value)
    {
        m_value = value;
        writeBack();
    }

private:
    static std::optional<T> stored(const QString& key)
    {
        if constexpr (std::is_same_v<T, bool>) {
            return PreferenceStore::storedBool(PreferenceStore::read(key));
        } else {
            return PreferenceStore::storedDouble(PreferenceStore::read(key));
        }
    }

    void writeBack()
    {
        if (PreferenceStore::isWriter(m_key, m_token)) {
            PreferenceStore::write(m_key, QVariant::fromValue(m_value));
        }
    }

    const QString m_key;
    T m_value;
    const quint64 m_token;
};
