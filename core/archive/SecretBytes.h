#pragma once

#include "platform/secrets/SecretBytes.h"
