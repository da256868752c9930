#pragma once

#include <QProxyStyle>

class QLineEdit;

// Masks password entries with the bullet U+2022, which the kit's faces (Roboto, and the Helvetica
// twin Nimbus Sans) carry, so that the mask is drawn in the entry's own font. The platform's
// default, U+25CF, is missing from them and would come from a fallback font as large discs.
class PasswordMaskStyle : public QProxyStyle
{
    Q_OBJECT

public:
    static constexpr char16_t maskCharacter = u'\u2022';

    // Gives the entry the mask style (one shared instance, owned by the application).
    static void apply(QLineEdit* entry);

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};
