#include "kit/theme/FontFaces.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QMutex>
#include <QStringList>
#include <QToolTip>

#include <fontconfig/fontconfig.h>

namespace {

std::function<bool(const QString&)>& availabilityFilter()
{
    static std::function<bool(const QString&)> filter;
    return filter;
}

QString normalizedStyle(QString style)
{
    style.remove(QLatin1Char(' '));
    style = style.toLower();
    if (style == QLatin1String("normal") || style == QLatin1String("book") || style == QLatin1String("roman"))
        return QStringLiteral("regular");
    style.replace(QLatin1String("oblique"), QLatin1String("italic"));
    if (style == QLatin1String("regularitalic"))
        return QStringLiteral("italic");
    return style;
}

struct FaceRequest
{
    QString family;
    int weight = QFont::Normal;
    bool italic = false;
    // "thin", "regular", "bolditalic", ...
    QString styleKey;
};

// "Roboto-BoldItalic" (PostScript form) or "Helvetica Bold Italic" (family and style words).
FaceRequest parseFaceName(const QString& faceName)
{
    FaceRequest request;
    QString styleText;
    const qsizetype dash = faceName.indexOf(QLatin1Char('-'));
    if (dash >= 0) {
        request.family = faceName.left(dash);
        styleText = faceName.mid(dash + 1);
    } else {
        const QStringList words = faceName.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        static const QStringList styleWords = {QStringLiteral("Thin"),    QStringLiteral("Light"),
                                               QStringLiteral("Regular"), QStringLiteral("Bold"),
                                               QStringLiteral("Italic"),  QStringLiteral("Oblique")};
        QStringList familyWords;
        for (const QString& word : words) {
            if (styleWords.contains(word) || !styleText.isEmpty())
                styleText += word;
            else
                familyWords << word;
        }
        request.family = familyWords.join(QLatin1Char(' '));
    }
    request.styleKey = normalizedStyle(styleText.isEmpty() ? QStringLiteral("Regular") : styleText);
    request.italic = styleText.contains(QLatin1String("Italic")) || styleText.contains(QLatin1String("Oblique"));
    if (styleText.contains(QLatin1String("Thin")))
        request.weight = QFont::Thin;
    else if (styleText.contains(QLatin1String("Light")))
        request.weight = QFont::Light;
    else if (styleText.contains(QLatin1String("Bold")))
        request.weight = QFont::Bold;
    return request;
}

// Families fontconfig binds strongly to a family name: the name itself and its metric aliases, without
// the generic fallbacks it appends weakly.
QStringList fontconfigTwins(const QString& family)
{
    QStringList twins;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return twins;
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcPatternIter iter;
    FcPatternIterStart(pattern, &iter);
    do {
        if (!FcPatternIterIsValid(pattern, &iter))
            break;
        if (qstrcmp(FcPatternIterGetObject(pattern, &iter), FC_FAMILY) != 0)
            continue;
        const int count = FcPatternIterValueCount(pattern, &iter);
        for (int i = 0; i < count; ++i) {
            FcValue value;
            FcValueBinding binding;
            if (FcPatternIterGetValue(pattern, &iter, i, &value, &binding) != FcResultMatch)
                continue;
            if (value.type == FcTypeString && binding != FcValueBindingWeak) {
                const QString twin = QString::fromUtf8(reinterpret_cast<const char*>(value.u.s));
                if (twin.compare(family, Qt::CaseInsensitive) != 0 && !twins.contains(twin))
                    twins << twin;
            }
        }
    } while (FcPatternIterNext(pattern, &iter));
    FcPatternDestroy(pattern);
    return twins;
}

// The installed style of a family for the request: the style of that name, else one of the same slant
// within 50 of the weight.
std::optional<QString> installedStyle(const QString& family, const FaceRequest& request)
{
    if (!QFontDatabase::hasFamily(family))
        return std::nullopt;
    const QStringList styles = QFontDatabase::styles(family);
    for (const QString& style : styles) {
        if (normalizedStyle(style) == request.styleKey)
            return style;
    }
    for (const QString& style : styles) {
        if (QFontDatabase::italic(family, style) == request.italic &&
            qAbs(QFontDatabase::weight(family, style) - request.weight) <= 50)
            return style;
    }
    return std::nullopt;
}

// The colour emoji family fontconfig prefers ("emoji" is its generic name for it), when one is
// installed: text faces list it after themselves, so that emoji and pictographs the face lacks (the
// warning sign too) are drawn in colour instead of by whatever text font has an outline of them.
QString colourEmojiFamily()
{
    static const QString family = [] {
        QString name;
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("emoji:color=true"));
        if (!pattern)
            return name;
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* matched = nullptr;
        FcBool colour = FcFalse;
        if (match && FcPatternGetString(match, FC_FAMILY, 0, &matched) == FcResultMatch &&
            FcPatternGetBool(match, FC_COLOR, 0, &colour) == FcResultMatch && colour)
            name = QString::fromUtf8(reinterpret_cast<const char*>(matched));
        if (match)
            FcPatternDestroy(match);
        FcPatternDestroy(pattern);
        return QFontDatabase::hasFamily(name) ? name : QString();
    }();
    return family;
}

// The emoji family comes second, after a family that is installed: were the first one a name that
// no font carries (the platform's "Sans Serif"), Qt would take the emoji font for every character it
// has, digits and spaces too.
QFont withColourEmoji(QFont font)
{
    const QString emoji = colourEmojiFamily();
    if (emoji.isEmpty())
        return font;
    QString family = font.family();
    if (!QFontDatabase::hasFamily(family))
        family = QFontInfo(font).family();
    if (family != emoji)
        font.setFamilies({family, emoji});
    return font;
}

struct ResolvedFace
{
    QString family;
    QString style;
};

std::optional<ResolvedFace> resolve(const QString& faceName)
{
    static QMutex mutex;
    static QHash<QString, std::optional<ResolvedFace>> cache;
    QMutexLocker lock(&mutex);
    const auto cached = cache.constFind(faceName);
    if (cached != cache.constEnd())
        return *cached;

    const FaceRequest request = parseFaceName(faceName);
    std::optional<ResolvedFace> result;
    if (!request.family.isEmpty()) {
        QStringList candidates{request.family};
        if (!QFontDatabase::hasFamily(request.family))
            candidates << fontconfigTwins(request.family);
        for (const QString& family : std::as_const(candidates)) {
            if (const auto style = installedStyle(family, request)) {
                result = ResolvedFace{family, *style};
                break;
            }
        }
    }
    cache.insert(faceName, result);
    return result;
}

} // namespace

namespace FontFaces {

std::optional<QFont> face(const QString& faceName, qreal size)
{
    const auto& filter = availabilityFilter();
    if (filter && !filter(faceName))
        return std::nullopt;
    const auto resolved = resolve(faceName);
    if (!resolved)
        return std::nullopt;
    QFont font = QFontDatabase::font(resolved->family, resolved->style, 12);
    font.setStyleName(resolved->style);
    font.setPixelSize(qMax(1, qRound(size)));
    return withColourEmoji(font);
}

QFont faceOrSystem(const QString& faceName, qreal size, QFont::Weight fallbackWeight)
{
    if (auto font = face(faceName, size))
        return *font;
    return systemFont(size, fallbackWeight);
}

QFont systemFont(qreal size, QFont::Weight weight, bool italic)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // The installed family behind the platform's name for it.
    font.setFamily(QFontInfo(font).family());
    font.setPixelSize(qMax(1, qRound(size)));
    font.setWeight(weight);
    font.setItalic(italic);
    return withColourEmoji(font);
}

QFont applicationFont()
{
    const int size = QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).pixelSize();
    return faceOrSystem(QStringLiteral("Roboto-Regular"), qMax(size, 12), QFont::Normal);
}

void installApplicationFont()
{
    const QFont font = applicationFont();
    QApplication::setFont(font);
    QToolTip::setFont(font);
}

void setAvailabilityFilter(std::function<bool(const QString& faceName)> filter)
{
    availabilityFilter() = std::move(filter);
}

} // namespace FontFaces
