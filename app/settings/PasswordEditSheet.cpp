#include "app/settings/PasswordEditSheet.h"

#include "core/credentials/PasswordViewModel.h"
#include "kit/inputs/TextFieldHelper.h"
#include "kit/theme/FontFaces.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include <functional>

namespace {

TextFieldHelper* makeField(const QString& title, Binding<QString> text, Binding<bool> isMasked)
{
    return new TextFieldHelper(
        QString(), title, std::move(text), true, std::move(isMasked), Binding<bool>::constant(true),
        ConnectionType::password, 1, std::nullopt, std::nullopt, std::nullopt, TarnFont::roboto_regular12,
        TarnFont::roboto_regular14, PasswordEditSheet::characterLimit, Binding<bool>::constant(true),
        Binding<qreal>::constant(0), 300, false, nullptr, TextFieldHelper::ButtonType::clear, false);
}

// A binding to one of the model's values. The fields write pending typing when they go, which may be after
// the model: then the write is dropped and reads give the fallback.
template <typename T, typename Get, typename Set>
Binding<T> modelBinding(const QPointer<PasswordViewModel>& model, Get get, Set set, T fallback)
{
    return Binding<T>([model, get, fallback] { return model ? std::invoke(get, *model) : fallback; },
                      [model, set](const T& value) {
                          if (model) {
                              std::invoke(set, *model, value);
                          }
                      });
}

} // namespace

PasswordEditSheet::Parts PasswordEditSheet::makeParts(PasswordViewModel* viewModel, std::function<void()> onCancel,
                                                      std::function<void()> onSave)
{
    Parts parts;
    const QPointer<PasswordViewModel> model(viewModel);
    const auto isMasked =
        modelBinding<bool>(model, &PasswordViewModel::isMaskedPassword, &PasswordViewModel::setIsMaskedPassword, true);
    parts.passwordField = makeField(
        QStringLiteral("Passwort"),
        modelBinding<QString>(model, &PasswordViewModel::password1, &PasswordViewModel::setPassword1, QString()),
        isMasked);
    parts.confirmationField = makeField(
        QStringLiteral("Passwort bestätigen"),
        modelBinding<QString>(model, &PasswordViewModel::password2, &PasswordViewModel::setPassword2, QString()),
        isMasked);

    auto* header = new QLabel(QStringLiteral("Passwort bearbeiten"));
    header->setTextFormat(Qt::PlainText);
    header->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Bold"), 16, QFont::Bold));

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 30, 0, 30);
    column->setSpacing(10);
    column->addWidget(parts.passwordField, 0, Qt::AlignHCenter);
    column->addWidget(parts.confirmationField, 0, Qt::AlignHCenter);

    parts.fields.header = header;
    parts.fields.content = content;
    parts.fields.maxViewWidth = 350;
    parts.fields.minWidth = 10;
    parts.fields.alignment = Qt::AlignLeft;
    parts.fields.textMiddle = [] { return QStringLiteral("Speichern"); };
    parts.fields.callbackLeft = std::move(onCancel);
    parts.fields.callbackMiddle = [onSave = std::move(onSave)](bool) { onSave(); };
    return parts;
}

PasswordEditSheet::PasswordEditSheet(PasswordViewModel* viewModel, std::function<void()> onCancel,
                                     std::function<void()> onSave, QWidget* parent)
    : PasswordEditSheet(makeParts(viewModel, std::move(onCancel), std::move(onSave)), parent)
{
}

PasswordEditSheet::PasswordEditSheet(Parts parts, QWidget* parent)
    : BlurredSheetContentHelper(std::move(parts.fields), parent)
    , m_passwordField(parts.passwordField)
    , m_confirmationField(parts.confirmationField)
{
    // One masking state: the show/hide button of either field masks or shows both. The other field hands
    // over its pending typing first, so that showing its model value again loses nothing.
    for (auto [from, to] :
         {std::pair(m_passwordField, m_confirmationField), std::pair(m_confirmationField, m_passwordField)}) {
        connect(from, &TextFieldHelper::maskedPasswordToggled, to, [field = to] {
            field->commit();
            field->refresh();
        });
    }
}

void PasswordEditSheet::commit()
{
    m_passwordField->commit();
    m_confirmationField->commit();
}
