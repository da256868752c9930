#include "kit/theme/TarnColor.h"

#include "platform/AppSettings.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <limits>

namespace TarnColor {

QString toHex(const QColor& color)
{
    if (!color.isValid())
        return QStringLiteral("5856D6");
    // Components are clamped to 0...1, so every channel fits two hex digits.
    const QColor rgb = color.toRgb();
    const long r = std::lroundf(rgb.redF() * 255.0f);
    const long g = std::lroundf(rgb.greenF() * 255.0f);
    const long b = std::lroundf(rgb.blueF() * 255.0f);
    const float alpha = rgb.alphaF();
    if (alpha == 1.0f)
        return QString::asprintf("%02lX%02lX%02lX", r, g, b);
    const long a = std::lroundf(alpha * 255.0f);
    return QString::asprintf("%02lX%02lX%02lX%02lX", r, g, b, a);
}

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Hex scan of an unsigned 64-bit number: an optional "0x" prefix, then digits up to the first
// non-digit; 0 when no digit scans, the largest value on overflow.
quint64 scanHex(const QString& text)
{
    qsizetype i = 0;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X') && hexDigit(text[2]) >= 0)
        i = 2;
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0)
            break;
        if (value > (std::numeric_limits<quint64>::max() >> 4))
            return std::numeric_limits<quint64>::max();
        value = (value << 4) | quint64(digit);
    }
    return value;
}

} // namespace

QColor fromHex(const QString& hex)
{
    const QString trimmed = hex.trimmed();
    const quint64 value = scanHex(trimmed);
    quint64 a = 0, r = 0, g = 0, b = 0;
    switch (trimmed.size()) {
    case 8:
        a = value >> 24, r = (value >> 16) & 0xFF, g = (value >> 8) & 0xFF, b = value & 0xFF;
        break;
    case 6:
        a = 255, r = value >> 16, g = (value >> 8) & 0xFF, b = value & 0xFF;
        break;
    case 3:
        a = 255, r = (value >> 8) * 17, g = ((value >> 4) & 0xF) * 17, b = (value & 0xF) * 17;
        break;
    default:
        a = 1, r = 1, g = 1, b = 0;
        break;
    }
    return QColor::fromRgbF(float(r) / 255.0f, float(g) / 255.0f, float(b) / 255.0f, float(a) / 255.0f);
}

namespace {

QColor paletteColor(QPalette::ColorRole role)
{
    return QGuiApplication::palette().color(QPalette::Active, role);
}

} // namespace

QColor windowBackgroundColor()
{
    static const QColor color = paletteColor(QPalette::Window);
    return color;
}

QColor controlBackgroundColor()
{
    static const QColor color = paletteColor(QPalette::Base);
    return color;
}

QColor textColor()
{
    static const QColor color = paletteColor(QPalette::Text);
    return color;
}

QColor accentColor()
{
    return paletteColor(QPalette::Highlight);
}

QColor primary()
{
    return paletteColor(QPalette::WindowText);
}

QColor secondary()
{
    return withOpacity(paletteColor(QPalette::WindowText), 0.5);
}

QColor red()
{
    return QColor(255, 59, 48);
}

QColor orange()
{
    return QColor(255, 149, 0);
}

QColor blue()
{
    return QColor(0, 122, 255);
}

QColor green()
{
    return QColor(40, 205, 65);
}

QString iconColorHex()
{
    return AppSettings::instance().iconColorHex().value_or(toHex(accentColor()));
}

QColor iconColor()
{
    return fromHex(iconColorHex());
}

QColor withOpacity(QColor c, qreal opacity)
{
    c.setAlphaF(float(c.alphaF() * opacity));
    return c;
}

} // namespace TarnColor

namespace TarnColor {

QColor over(const QColor& c, const QColor& background)
{
    const qreal a = c.alphaF();
    return QColor::fromRgbF(float(c.redF() * a + background.redF() * (1 - a)),
                            float(c.greenF() * a + background.greenF() * (1 - a)),
                            float(c.blueF() * a + background.blueF() * (1 - a)));
}

namespace {

qreal luminance(const QColor& c)
{
    const auto channel = [](qreal v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    const QColor rgb = c.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

} // namespace

qreal contrastRatio(const QColor& a, const QColor& b)
{
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor legibleOn(const QColor& c, const QList<QColor>& backgrounds, qreal minimum)
{
    const auto legible = [&](const QColor& candidate) {
        return std::all_of(backgrounds.begin(), backgrounds.end(), [&](const QColor& background) {
            return contrastRatio(over(candidate, background), background) >= minimum;
        });
    };
    QColor candidate = c;
    while (candidate.alpha() < 255 && !legible(candidate))
        candidate.setAlpha(qMin(255, candidate.alpha() + 5));
    return candidate;
}

} // namespace TarnColor
