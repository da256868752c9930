#pragma once

#include "kit/dialogs/SheetOverlay.h"

#include <QColor>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class ElidedLabel;

// One labelled value on a line: "title:" and beside it the value, underlined in bold italics. With a
// folder URL the value is a link that opens the folder in the file browser, or, when the folder does
// not exist (or is not a folder), shows a "Fehler" card. A link is reached with Tab, marked while
// focused, and Space or Return follows it. Without a value, an optional placeholder stands in its
// place: plain, not underlined and never a link.
class TextViewHelper : public QWidget
{
    Q_OBJECT

public:
    // Opens a folder in the platform's file browser.
    using FolderOpener = std::function<void(const QUrl& folder)>;

    TextViewHelper(const QString& title, const std::optional<QString>& text, const std::optional<QUrl>& url,
                   const QColor& color, QWidget* parent = nullptr);

    void setText(const std::optional<QString>& text);
    void setUrl(const std::optional<QUrl>& url);
    void setColor(const QColor& color);
    // Shown in the value's place while there is no value; empty for none.
    void setPlaceholder(const QString& placeholder, const QColor& color);

    QString title() const { return m_title; }
    std::optional<QString> text() const { return m_text; }
    // The value, else the placeholder, as shown.
    QString shownValue() const;
    QString placeholder() const { return m_placeholder; }
    std::optional<QUrl> url() const { return m_url; }
    QColor color() const { return m_color; }
    bool isFolderNotExists() const { return m_isFolderNotExists; }
    bool isLink() const { return m_text && m_url; }

    ElidedLabel* titleLabel() const { return m_titleLabel; }
    ElidedLabel* valueLabel() const { return m_valueLabel; }
    // The open warning card, or nullptr.
    SheetOverlay* alert() const { return m_alert; }

    // The link's action: opens an existing folder, else shows the warning card. The folder is looked
    // at off the GUI thread (it may not answer); a click while it is looked at does nothing more.
    void checkFolder();
    bool isCheckingFolder() const { return m_checkingFolder; }

    // Replaces how folders are opened (tests); an empty opener restores the platform's.
    static void setFolderOpener(FolderOpener opener);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateValue();
    void setFolderNotExists(bool value);
    void showFolderMissing(const QString& path);

    QString m_title;
    std::optional<QString> m_text;
    QString m_placeholder;
    QColor m_placeholderColor;
    std::optional<QUrl> m_url;
    QColor m_color;
    bool m_isFolderNotExists = false;
    bool m_checkingFolder = false;

    ElidedLabel* m_titleLabel = nullptr;
    ElidedLabel* m_valueLabel = nullptr;
    QPointer<SheetOverlay> m_alert;
};
