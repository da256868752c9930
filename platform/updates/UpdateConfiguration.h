#pragma once

#include <QString>

// The update settings of this build, from the CMake cache (platform/updates/CMakeLists.txt).
namespace UpdateConfiguration {

// The address of the update feed; empty turns update checks off.
QString feedUrl();
// The base64 Ed25519 public key that update downloads are signed with.
QString publicKey();
// The web site whose "/updates/releasenotes/<version>.html" pages hold the release notes.
QString releaseNotesSite();

} // namespace UpdateConfiguration
