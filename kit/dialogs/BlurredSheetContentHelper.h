#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class CheckBoxHelper;
class QScrollArea;
class TrendyButtonHelper;

// The frame of every sheet: an optional header band, the caller's content (optionally scrollable) and a
// bottom bar with an optional check box over a red left button (Escape), a middle button (Return) that
// receives the check box's value, and an optional right button.
class BlurredSheetContentHelper : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool isMiddleDisabled READ isMiddleDisabled WRITE setMiddleDisabled NOTIFY middleDisabledChanged)
    Q_PROPERTY(bool checkBoxSelection READ checkBoxSelection NOTIFY checkBoxSelectionChanged)

public:
    struct Fields
    {
        QWidget* header = nullptr;
        QWidget* content = nullptr;
        qreal maxViewWidth = QWIDGETSIZE_MAX;
        qreal minWidth = 0;
        Qt::Alignment alignment = Qt::AlignCenter;
        std::function<QString()> textLeft = [] { return QStringLiteral("Abbrechen"); };
        std::function<QString()> textMiddle;
        std::function<QString()> textRight = [] { return QStringLiteral("additional"); };
        std::optional<QString> textCheckBox;
        bool isMiddleDisabled = false;
        bool isScrollable = false;
        std::function<void()> callbackLeft;
        std::function<void(bool)> callbackMiddle;
        // Absent: no right button.
        std::function<void()> callbackRight;
    };

    explicit BlurredSheetContentHelper(Fields fields, QWidget* parent = nullptr);

    bool isMiddleDisabled() const;
    void setMiddleDisabled(bool disabled);
    bool checkBoxSelection() const;

    // Reads the three button texts again from their functions.
    void refreshTexts();

    TrendyButtonHelper* leftButton() const { return m_left; }
    TrendyButtonHelper* middleButton() const { return m_middle; }
    TrendyButtonHelper* rightButton() const { return m_right; }
    CheckBoxHelper* checkBox() const { return m_checkBox; }
    QWidget* header() const { return m_fields.header; }
    QScrollArea* scrollArea() const { return m_scrollArea; }

Q_SIGNALS:
    void middleDisabledChanged(bool disabled);
    void checkBoxSelectionChanged(bool selection);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Fields m_fields;
    QWidget* m_headerBand = nullptr;
    QWidget* m_bar = nullptr;
    QScrollArea* m_scrollArea = nullptr;
    CheckBoxHelper* m_checkBox = nullptr;
    TrendyButtonHelper* m_left = nullptr;
    TrendyButtonHelper* m_middle = nullptr;
    TrendyButtonHelper* m_right = nullptr;
};
