#include "kit/inputs/TextDebouncer.h"

#include "platform/secrets/SecretBytes.h"

#include <utility>

TextDebouncer::TextDebouncer(QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(defaultIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TextDebouncer::flush);
}

void TextDebouncer::push(const QString& text)
{
    QString previous = std::exchange(m_value, text);
    if (m_secret)
        SecretBytes::cleanse(previous);
    m_pending = true;
    m_timer.start();
}

void TextDebouncer::flush()
{
    m_timer.stop();
    if (!m_pending)
        return;
    m_pending = false;
    Q_EMIT delivered(m_value);
}

void TextDebouncer::wipe()
{
    cancel();
    SecretBytes::wipeText(m_value);
}

void TextDebouncer::cancel()
{
    m_timer.stop();
    m_pending = false;
}
