#include "tests/screens/ScreenCatalog.h"

#include "kit/inputs/SecureInputView.h"
#include "kit/inputs/TextFieldHelper.h"
#include "kit/inputs/TextFieldModifier.h"
#include "kit/theme/TarnColor.h"

#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

namespace {

// A plain window around one control, in the window background colour.
std::unique_ptr<QWidget> frameFor(QWidget* control, const QSize& size)
{
    auto window = std::make_unique<QWidget>();
    window->setAutoFillBackground(true);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, TarnColor::windowBackgroundColor());
    window->setPalette(palette);
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(control, 0, Qt::AlignCenter);
    window->resize(size);
    return window;
}

// The login's password entry: the field 30 high, padded 10/4, boxed, in a 300 by 50 frame.
QWidget* loginEntry(QString* password)
{
    auto* field = new SecureInputView(Binding<QString>::to(password), 24, QStringLiteral("Master-Passwort eingeben"));
    field->setFixedHeight(30);
    auto* box =
        new TextFieldModifier(field, field->font(), TarnColor::accentColor(), TarnColor::controlBackgroundColor());
    box->setPadding(QMargins(10, 4, 10, 4));
    auto* frame = new QWidget;
    frame->setFixedSize(300, 50);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(box, 0, Qt::AlignVCenter);
    return frame;
}

} // namespace

TARN_SCREENS(kit)
{
    {
        QString password;
        const auto window = frameFor(loginEntry(&password), QSize(340, 90));
        window->show();
        ScreenCatalog::settle(50);
        ScreenCatalog::save(window.get(), QStringLiteral("kit-secure-field-empty"));
    }
    {
        QString password = QStringLiteral("Geheim2024");
        const auto window = frameFor(loginEntry(&password), QSize(340, 90));
        window->show();
        ScreenCatalog::settle(50);
        ScreenCatalog::save(window.get(), QStringLiteral("kit-secure-field-text"));
    }
    for (const bool masked : {true, false}) {
        QString password = QStringLiteral("Geheim2024");
        auto* field = new TextFieldHelper(QStringLiteral("Passwort"), QStringLiteral("Neues Passwort"),
                                          Binding<QString>::to(&password), true, Binding<bool>::state(masked),
                                          Binding<bool>::constant(true), ConnectionType::password);
        field->setFixedWidth(300);
        const auto window = frameFor(field, QSize(340, 100));
        window->show();
        ScreenCatalog::settle(50);
        ScreenCatalog::save(window.get(),
                            masked ? QStringLiteral("kit-password-field-masked")
                                   : QStringLiteral("kit-password-field-shown"));
    }
}
