#pragma once

#include <QString>

// Texts with **bold** spans, as the password and erase warnings are written. Everything else in
// the text is shown as it is: no other markup, no HTML.
namespace BoldMarkup {

// Rich text for a label: each closed **span** bold, every other character escaped, line breaks
// kept. A "**" without its closing partner stays as written.
QString toHtml(const QString& text);

// The text without the marks of its closed spans.
QString plainText(const QString& text);

} // namespace BoldMarkup
