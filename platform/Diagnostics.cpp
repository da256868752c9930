#include "platform/Diagnostics.h"

#ifdef NDEBUG
Q_LOGGING_CATEGORY(lcDiagnostics, "tarn.diagnostics", QtInfoMsg)
#else
Q_LOGGING_CATEGORY(lcDiagnostics, "tarn.diagnostics", QtDebugMsg)
#endif
