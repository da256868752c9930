#pragma once

// Accessible interfaces for the kit's own drawn controls, so that screen readers (AT-SPI) read them:
// buttons and menu rows as buttons, the check box with its state, labels and the warning band as
// text, the folder link as a link, alerts and sheets as dialogs. Each names itself by its visible
// text unless an accessible name was set. The controls install it when the first one is made.
namespace ControlAccessibility {

// Installs the interface factory once per process.
void install();

} // namespace ControlAccessibility
