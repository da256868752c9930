#pragma once

#include <QFont>
#include <QString>

// The closed table of font presets. Cases run in two blocks, Roboto (0-89) and Helvetica (90-149), each
// ordered by size and, within a size, by style. Sizes are logical pixels.
class TarnFont
{
public:
    enum Case : int {
        roboto_thin7,
        roboto_regular7,
        roboto_italic7,
        roboto_bold7,
        roboto_boldItalic7,
        roboto_thin8,
        roboto_regular8,
        roboto_italic8,
        roboto_bold8,
        roboto_boldItalic8,
        roboto_thin9,
        roboto_regular9,
        roboto_italic9,
        roboto_bold9,
        roboto_boldItalic9,
        roboto_thin10,
        roboto_regular10,
        roboto_italic10,
        roboto_bold10,
        roboto_boldItalic10,
        roboto_thin11,
        roboto_regular11,
        roboto_italic11,
        roboto_bold11,
        roboto_boldItalic11,
        roboto_thin12,
        roboto_regular12,
        roboto_italic12,
        roboto_bold12,
        roboto_boldItalic12,
        roboto_thin13,
        roboto_regular13,
        roboto_italic13,
        roboto_bold13,
        roboto_boldItalic13,
        roboto_thin14,
        roboto_regular14,
        roboto_italic14,
        roboto_bold14,
        roboto_boldItalic14,
        roboto_thin15,
        roboto_regular15,
        roboto_italic15,
        roboto_bold15,
        roboto_boldItalic15,
        roboto_thin16,
        roboto_regular16,
        roboto_italic16,
        roboto_bold16,
        roboto_boldItalic16,
        roboto_thin18,
        roboto_regular18,
        roboto_italic18,
        roboto_bold18,
        roboto_boldItalic18,
        roboto_thin20,
        roboto_regular20,
        roboto_italic20,
        roboto_bold20,
        roboto_boldItalic20,
        roboto_thin22,
        roboto_regular22,
        roboto_italic22,
        roboto_bold22,
        roboto_boldItalic22,
        roboto_thin24,
        roboto_regular24,
        roboto_italic24,
        roboto_bold24,
        roboto_boldItalic24,
        roboto_thin28,
        roboto_regular28,
        roboto_italic28,
        roboto_bold28,
        roboto_boldItalic28,
        roboto_thin32,
        roboto_regular32,
        roboto_italic32,
        roboto_bold32,
        roboto_boldItalic32,
        roboto_thin42,
        roboto_regular42,
        roboto_italic42,
        roboto_bold42,
        roboto_boldItalic42,
        roboto_thin48,
        roboto_regular48,
        roboto_italic48,
        roboto_bold48,
        roboto_boldItalic48,
        helvetica_light7,
        helvetica_regular7,
        helvetica_italic7,
        helvetica_bold7,
        helvetica_boldItalic7,
        helvetica_light8,
        helvetica_regular8,
        helvetica_italic8,
        helvetica_bold8,
        helvetica_boldItalic8,
        helvetica_light9,
        helvetica_regular9,
        helvetica_italic9,
        helvetica_bold9,
        helvetica_boldItalic9,
        helvetica_light10,
        helvetica_regular10,
        helvetica_italic10,
        helvetica_bold10,
        helvetica_boldItalic10,
        helvetica_light12,
        helvetica_regular12,
        helvetica_italic12,
        helvetica_bold12,
        helvetica_boldItalic12,
        helvetica_light14,
        helvetica_regular14,
        helvetica_italic14,
        helvetica_bold14,
        helvetica_boldItalic14,
        helvetica_light16,
        helvetica_regular16,
        helvetica_italic16,
        helvetica_bold16,
        helvetica_boldItalic16,
        helvetica_light18,
        helvetica_regular18,
        helvetica_italic18,
        helvetica_bold18,
        helvetica_boldItalic18,
        helvetica_light20,
        helvetica_regular20,
        helvetica_italic20,
        helvetica_bold20,
        helvetica_boldItalic20,
        helvetica_light22,
        helvetica_regular22,
        helvetica_italic22,
        helvetica_bold22,
        helvetica_boldItalic22,
        helvetica_light24,
        helvetica_regular24,
        helvetica_italic24,
        helvetica_bold24,
        helvetica_boldItalic24,
        helvetica_light28,
        helvetica_regular28,
        helvetica_italic28,
        helvetica_bold28,
        helvetica_boldItalic28,
    };
    static constexpr int count = 150;

    enum class Family { roboto, helvetica };
    // Per block: thin/light, regular, italic, bold, boldItalic.
    enum class Style { thin, regular, italic, bold, boldItalic };

    constexpr TarnFont(Case c)
        : m_case(c)
    {
    }
    static TarnFont fromIndex(int index);

    constexpr Case value() const { return m_case; }
    constexpr int index() const { return int(m_case); }
    constexpr bool operator==(const TarnFont&) const = default;

    Family family() const;
    Style style() const;
    // "roboto_thin7", "helvetica_boldItalic28".
    QString name() const;
    // The face asked for: "Roboto-Thin", "Helvetica Bold Italic".
    QString faceName() const;
    // The size in the case's name.
    int size() const;
    // The size the face is asked for at; differs from size() for Roboto 13 (12) and Roboto 15 (16).
    int requestedSize() const;

    // The face at requestedSize(), or when it is missing the system font of matching weight at size().
    QFont font() const;

    // Upright system font; style code 0 thin, 4 regular, 8 bold (other codes: regular).
    static QFont systemFont(qreal size, int styleCode);
    // Italic system font of a weight; bold traits from medium weight upwards.
    static QFont italicSystemFont(qreal size, QFont::Weight weight);

private:
    Case m_case;
};

inline size_t qHash(TarnFont f, size_t seed = 0)
{
    return ::qHash(f.index(), seed);
}
