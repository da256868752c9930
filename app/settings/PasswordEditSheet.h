#pragma once

#include "core/credentials/PasswordViewModel.h"
#include "kit/dialogs/BlurredSheetContentHelper.h"

#include <functional>

class PasswordViewModel;
class TextFieldHelper;

// The sheet "Passwort bearbeiten": the new password and its repetition, at most 100 characters each,
// masked or shown together. "Abbrechen" and "Speichern" run the owner's actions.
class PasswordEditSheet : public BlurredSheetContentHelper
{
    Q_OBJECT

public:
    static constexpr int characterLimit = PasswordViewModel::characterLimit;

    PasswordEditSheet(PasswordViewModel* viewModel, std::function<void()> onCancel, std::function<void()> onSave,
                      QWidget* parent = nullptr);

    TextFieldHelper* passwordField() const { return m_passwordField; }
    TextFieldHelper* confirmationField() const { return m_confirmationField; }

    // Hands typing that is still pending to the model.
    void commit();

protected:
    // The sheet opens with the first field ready for typing.
    void showEvent(QShowEvent* event) override;

private:
    struct Parts
    {
        Fields fields;
        TextFieldHelper* passwordField = nullptr;
        TextFieldHelper* confirmationField = nullptr;
    };
    static Parts makeParts(PasswordViewModel* viewModel, std::function<void()> onCancel, std::function<void()> onSave);
    PasswordEditSheet(Parts parts, QWidget* parent);

    TextFieldHelper* m_passwordField;
    TextFieldHelper* m_confirmationField;
};
