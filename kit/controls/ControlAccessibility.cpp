#include "kit/controls/ControlAccessibility.h"

#include "kit/controls/RestoreButtonView.h"
#include "kit/controls/TrendyButtonHelper.h"
#include "kit/dialogs/AlertCommon.h"
#include "kit/dialogs/BlurredSheetContentHelper.h"
#include "kit/dialogs/CheckBoxHelper.h"
#include "kit/inputs/ElidedLabel.h"
#include "kit/inputs/TextViewHelper.h"
#include "kit/inputs/WarningTextHelper.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

enum class Kind { button, menuRow, checkBox, label, warning, folderLink, alert, sheet };

QString labelText(const QWidget* widget)
{
    const auto* label = qobject_cast<const QLabel*>(widget);
    return label ? label->text() : QString();
}

// One drawn control: its role, its visible text as name, its state and its one action.
class ControlAccessible : public QAccessibleWidget
{
public:
    ControlAccessible(QWidget* widget, Kind kind, QAccessible::Role role)
        : QAccessibleWidget(widget, role)
        , m_kind(kind)
    {
    }

    QAccessible::Role role() const override
    {
        if (const auto* view = qobject_cast<const TextViewHelper*>(widget()))
            return view->isLink() ? QAccessible::Link : QAccessible::StaticText;
        return QAccessibleWidget::role();
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            if (!widget()->accessibleName().isEmpty())
                return widget()->accessibleName();
            const QString name = visibleName();
            return name.isEmpty() ? widget()->toolTip() : name;
        }
        if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty()) {
            if (const auto* row = qobject_cast<const RestoreButtonView*>(widget()))
                return row->subTitle();
            if (const auto* link = qobject_cast<const TextViewHelper*>(widget()))
                return link->title();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (const auto* button = qobject_cast<const TrendyButtonHelper*>(widget())) {
            if (button->isDisabled()) {
                state.disabled = true;
                state.focusable = false;
            }
        } else if (const auto* box = qobject_cast<const CheckBoxHelper*>(widget())) {
            state.checkable = true;
            state.checked = box->selection();
        } else if (m_kind == Kind::alert || m_kind == Kind::sheet) {
            state.modal = true;
        }
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (const QString own = ownAction(); !own.isEmpty())
            names << own;
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override
    {
        if (actionName.isEmpty() || actionName != ownAction()) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        if (auto* button = qobject_cast<TrendyButtonHelper*>(widget()))
            button->trigger();
        else if (auto* row = qobject_cast<RestoreButtonView*>(widget()))
            row->click();
        else if (auto* box = qobject_cast<CheckBoxHelper*>(widget()))
            box->toggle();
        else if (auto* link = qobject_cast<TextViewHelper*>(widget()))
            link->checkFolder();
    }

    QStringList keyBindingsForAction(const QString& actionName) const override
    {
        if (!actionName.isEmpty() && actionName == ownAction())
            return {QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(actionName);
    }

private:
    QString visibleName() const
    {
        const QWidget* w = widget();
        switch (m_kind) {
        case Kind::button:
            return static_cast<const TrendyButtonHelper*>(w)->fields().text.value_or(QString());
        case Kind::menuRow:
            return static_cast<const RestoreButtonView*>(w)->title();
        case Kind::checkBox:
            return static_cast<const CheckBoxHelper*>(w)->title();
        case Kind::label:
            return static_cast<const ElidedLabel*>(w)->text();
        case Kind::warning:
            return static_cast<const WarningTextHelper*>(w)->shownText().value_or(QString());
        case Kind::folderLink:
            return static_cast<const TextViewHelper*>(w)->shownValue();
        case Kind::alert: {
            const auto* alert = static_cast<const AlertCommon*>(w);
            return alert->titleLabel() ? alert->titleLabel()->text() : QString();
        }
        case Kind::sheet:
            return labelText(static_cast<const BlurredSheetContentHelper*>(w)->header());
        }
        return {};
    }

    QString ownAction() const
    {
        switch (m_kind) {
        case Kind::button:
            return static_cast<const TrendyButtonHelper*>(widget())->isDisabled() ? QString() : pressAction();
        case Kind::menuRow:
            return static_cast<const RestoreButtonView*>(widget())->hasAction() ? pressAction() : QString();
        case Kind::checkBox:
            return toggleAction();
        case Kind::folderLink:
            return static_cast<const TextViewHelper*>(widget())->isLink() ? pressAction() : QString();
        default:
            return {};
        }
    }

    Kind m_kind;
};

QAccessibleInterface* controlInterface(const QString&, QObject* object)
{
    QWidget* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (qobject_cast<TrendyButtonHelper*>(widget))
        return new ControlAccessible(widget, Kind::button, QAccessible::Button);
    if (qobject_cast<RestoreButtonView*>(widget))
        return new ControlAccessible(widget, Kind::menuRow, QAccessible::Button);
    if (qobject_cast<CheckBoxHelper*>(widget))
        return new ControlAccessible(widget, Kind::checkBox, QAccessible::CheckBox);
    if (qobject_cast<ElidedLabel*>(widget))
        return new ControlAccessible(widget, Kind::label, QAccessible::StaticText);
    if (qobject_cast<WarningTextHelper*>(widget))
        return new ControlAccessible(widget, Kind::warning, QAccessible::StaticText);
    if (qobject_cast<TextViewHelper*>(widget))
        return new ControlAccessible(widget, Kind::folderLink, QAccessible::Link);
    if (qobject_cast<AlertCommon*>(widget))
        return new ControlAccessible(widget, Kind::alert, QAccessible::AlertMessage);
    if (qobject_cast<BlurredSheetContentHelper*>(widget))
        return new ControlAccessible(widget, Kind::sheet, QAccessible::Dialog);
    return nullptr;
}

} // namespace

void ControlAccessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(controlInterface);
        return true;
    }();
    Q_UNUSED(installed);
}
