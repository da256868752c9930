#include "kit/inputs/PasswordMaskStyle.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QStyleFactory>

void PasswordMaskStyle::apply(QLineEdit* entry)
{
    // One style for every entry, over a style of the application's kind so that everything else
    // looks as before. The application owns it: widgets do not own their style, and it must
    // outlive each of them.
    static QPointer<PasswordMaskStyle> shared;
    if (!shared) {
        shared = new PasswordMaskStyle;
        if (QStyle* base = QStyleFactory::create(QApplication::style()->name()))
            shared->setBaseStyle(base);
        shared->setParent(qApp);
    }
    entry->setStyle(shared);
}

int PasswordMaskStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                 QStyleHintReturn* returnData) const
{
    if (hint == SH_LineEdit_PasswordCharacter)
        return maskCharacter;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
