#include "kit/theme/SymbolImage.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <memory>

namespace {

// Loaded renderers by name; nullptr for names without a valid SVG.
QSvgRenderer* renderer(const QString& name)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    // A symbol name is one file name of the symbol folder.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.')))
        return nullptr;
    auto it = renderers.find(name);
    if (it == renderers.end()) {
        std::shared_ptr<QSvgRenderer> loaded;
        const QString path = QStringLiteral(":/symbols/") + name + QStringLiteral(".svg");
        if (QFile::exists(path)) {
            loaded = std::make_shared<QSvgRenderer>(path);
            if (!loaded->isValid())
                loaded.reset();
        }
        it = renderers.insert(name, loaded);
    }
    return it->get();
}

QRectF fitted(const QSizeF& content, const QRectF& box)
{
    if (content.isEmpty() || box.isEmpty())
        return {};
    const QSizeF size = content.scaled(box.size(), Qt::KeepAspectRatio);
    return QRectF(box.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

// Black in the SVG is ink, white cuts holes: coverage = alpha x (1 - lightness), painted in the tint.
QImage tinted(QSvgRenderer* svg, const QSize& pixels, const QColor& tint)
{
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        svg->render(&p, fitted(svg->defaultSize(), QRectF(QPointF(0, 0), QSizeF(pixels))));
    }
    const QRgb ink = tint.rgba();
    const int tintAlpha = qAlpha(ink);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            const int alpha = qAlpha(pixel);
            if (alpha == 0)
                continue;
            const int lightness = qGray(qUnpremultiply(pixel));
            const int coverage = alpha * (255 - lightness) / 255 * tintAlpha / 255;
            line[x] = qPremultiply(qRgba(qRed(ink), qGreen(ink), qBlue(ink), coverage));
        }
    }
    return image;
}

} // namespace

namespace SymbolImage {

bool exists(const QString& name)
{
    return renderer(name) != nullptr;
}

QPixmap pixmap(const QString& name, const QSizeF& size, const QColor& tint, qreal devicePixelRatio)
{
    QSvgRenderer* svg = renderer(name);
    const QSize pixels = (size * devicePixelRatio).toSize();
    if (!svg || pixels.isEmpty())
        return {};
    const QString key = QStringLiteral("tarn-symbol:%1:%2x%3:%4")
                            .arg(name)
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(tint.rgba(), 8, 16, QLatin1Char('0'));
    QPixmap cached;
    if (!QPixmapCache::find(key, &cached)) {
        cached = QPixmap::fromImage(tinted(svg, pixels, tint));
        QPixmapCache::insert(key, cached);
    }
    cached.setDevicePixelRatio(devicePixelRatio);
    return cached;
}

void paint(QPainter* painter, const QRectF& rect, const QString& name, const QColor& tint)
{
    if (!painter || rect.isEmpty() || !exists(name))
        return;
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap image = pixmap(name, rect.size(), tint, dpr);
    if (!image.isNull())
        painter->drawPixmap(rect.topLeft(), image);
}

} // namespace SymbolImage
