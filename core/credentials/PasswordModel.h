#pragma once

#include "core/credentials/ModelType.h"

#include <QString>

// Names the password that one settings tab edits.
struct PasswordModel
{
    ModelType key;
    QString service; // the credential-store service of the password
    QString text; // the explanatory text of the tab
    bool isTouchID; // app password: carries the Touch ID choice and is replaced without asking
};
