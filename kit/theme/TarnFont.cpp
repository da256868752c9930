#include "kit/theme/TarnFont.h"

#include "kit/theme/FontFaces.h"

#include <array>

namespace {

constexpr int robotoCount = 90;
constexpr std::array<int, 18> robotoSizes{7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 20, 22, 24, 28, 32, 42, 48};
constexpr std::array<int, 12> helveticaSizes{7, 8, 9, 10, 12, 14, 16, 18, 20, 22, 24, 28};

const char* const robotoStyleNames[] = {"thin", "regular", "italic", "bold", "boldItalic"};
const char* const helveticaStyleNames[] = {"light", "regular", "italic", "bold", "boldItalic"};
const char* const robotoFaces[] = {"Roboto-Thin", "Roboto-Regular", "Roboto-Italic", "Roboto-Bold",
                                   "Roboto-BoldItalic"};
const char* const helveticaFaces[] = {"Helvetica Light", "Helvetica", "Helvetica Italic", "Helvetica Bold",
                                      "Helvetica Bold Italic"};

int blockOffset(int index)
{
    return index < robotoCount ? index : index - robotoCount;
}

} // namespace

TarnFont TarnFont::fromIndex(int index)
{
    Q_ASSERT(index >= 0 && index < count);
    return TarnFont(static_cast<Case>(qBound(0, index, count - 1)));
}

TarnFont::Family TarnFont::family() const
{
    return index() < robotoCount ? Family::roboto : Family::helvetica;
}

TarnFont::Style TarnFont::style() const
{
    return static_cast<Style>(blockOffset(index()) % 5);
}

int TarnFont::size() const
{
    const int position = blockOffset(index()) / 5;
    return family() == Family::roboto ? robotoSizes[position] : helveticaSizes[position];
}

int TarnFont::requestedSize() const
{
    if (family() == Family::roboto) {
        if (size() == 13)
            return 12;
        if (size() == 15)
            return 16;
    }
    return size();
}

QString TarnFont::name() const
{
    const int styleIndex = int(style());
    const bool roboto = family() == Family::roboto;
    return QLatin1String(roboto ? "roboto_" : "helvetica_") +
        QLatin1String(roboto ? robotoStyleNames[styleIndex] : helveticaStyleNames[styleIndex]) +
        QString::number(size());
}

QString TarnFont::faceName() const
{
    const int styleIndex = int(style());
    return QLatin1String(family() == Family::roboto ? robotoFaces[styleIndex] : helveticaFaces[styleIndex]);
}

QFont TarnFont::font() const
{
    if (auto face = FontFaces::face(faceName(), requestedSize()))
        return *face;
    switch (style()) {
    case Style::thin:
        return systemFont(size(), 0);
    case Style::regular:
        return systemFont(size(), 4);
    case Style::bold:
        return systemFont(size(), 8);
    case Style::italic:
        return italicSystemFont(size(), QFont::Normal);
    case Style::boldItalic:
        return italicSystemFont(size(), QFont::Bold);
    }
    return systemFont(size(), 4);
}

QFont TarnFont::systemFont(qreal size, int styleCode)
{
    switch (styleCode) {
    case 0:
        return FontFaces::systemFont(size, QFont::Thin);
    case 8:
        return FontFaces::systemFont(size, QFont::Bold);
    default:
        return FontFaces::systemFont(size, QFont::Normal);
    }
}

QFont TarnFont::italicSystemFont(qreal size, QFont::Weight weight)
{
    switch (weight) {
    case QFont::ExtraLight:
    case QFont::Thin:
    case QFont::Light:
    case QFont::Normal:
        return FontFaces::systemFont(size, weight, true);
    case QFont::Medium:
    case QFont::DemiBold:
    case QFont::Bold:
    case QFont::ExtraBold:
    case QFont::Black:
        // Italic and bold traits: at least bold.
        return FontFaces::systemFont(size, qMax(weight, QFont::Bold), true);
    }
    return italicSystemFont(size, QFont::Normal);
}
