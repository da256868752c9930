#pragma once

// A non-secret note in the app's settings that an app password has been stored. It lets the start
// tell "no app password was ever saved" from "the credential store cannot answer now".
namespace AppPasswordMarker {

bool isSet();
void set(bool stored);

} // namespace AppPasswordMarker
