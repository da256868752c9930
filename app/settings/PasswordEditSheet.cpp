#include "app/settings/PasswordEditSheet.h"

#include "core/credentials/PasswordViewModel.h"
#include "kit/inputs/TextFieldHelper.h"
#include "kit/theme/FontFaces.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
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

// A binding to one of the model's values.
template <typename T, typename Get, typename Set>
Binding<T> modelBinding(PasswordViewModel* model, Get get, Set set)
{
    return Binding<T>([model, get] { return std::invoke(get, *model); },
                      [model, set](const T& value) { std::invoke(set, *model, value); });
}

} // namespace

PasswordEditSheet::Parts PasswordEditSheet::makeParts(PasswordViewModel* viewModel, std::function<void()> onCancel,
                                                      std::function<void()> onSave)
{
    Parts parts;
    const auto isMasked =
        modelBinding<bool>(viewModel, &PasswordViewModel::isMaskedPassword, &PasswordViewModel::setIsMaskedPassword);
    parts.passwordField = makeField(
        QStringLiteral("Passwort"),
        modelBinding<QString>(viewModel, &PasswordViewModel::password1, &PasswordViewModel::setPassword1), isMasked);
    parts.confirmationField = makeField(
        QStringLiteral("Passwort bestätigen"),
        modelBinding<QString>(viewModel, &PasswordViewModel::password2, &PasswordViewModel::setPassword2), isMasked);

    auto* header = new QLabel(QStringLiteral("Passwort bearbeiten"));
    header->setTextFormat(Qt::PlainText);
    header->setFont(FontFaces::faceOrSystem(QStringLiteral("Roboto-Bold"), 16, QFont::Bold));

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    // The fields keep the sheet's side margins.
    column->setContentsMargins(25, 30, 25, 30);
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
    // One masking state: the show/hide button of either field masks or shows both.
    for (auto [from, to] :
         {std::pair(m_passwordField, m_confirmationField), std::pair(m_confirmationField, m_passwordField)}) {
        connect(from, &TextFieldHelper::maskedPasswordToggled, to, &TextFieldHelper::refresh);
    }
}

void PasswordEditSheet::showEvent(QShowEvent* event)
{
    BlurredSheetContentHelper::showEvent(event);
    if (!isAncestorOf(QApplication::focusWidget()))
        m_passwordField->input()->setFocus(Qt::OtherFocusReason);
}

void PasswordEditSheet::commit()
{
    m_passwordField->commit();
    m_confirmationField->commit();
}
