#pragma once

#include <QLoggingCategory>

// Step-by-step diagnostics of the archive engine and the services. Debug level only:
// silent in a release build unless enabled with QT_LOGGING_RULES="tarn.diagnostics.debug=true",
// on by default in a debug build. Never log a password or a key.
Q_DECLARE_LOGGING_CATEGORY(lcDiagnostics)
