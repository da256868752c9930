#pragma once

// Delays and durations of the main window and its screens, in milliseconds. Tests shorten them.
struct ShellTimings
{
    // The window's title band turning opaque or transparent, and the title fading.
    static inline int styleAnimationMs = 500;
    // One step of the window's shake.
    static inline int shakeStepMs = 60;
    // The slide between the login and the main screen.
    static inline int slideMs = 500;
    // From a screen's appearance to the request for the window's look.
    static inline int mainRestyleDelayMs = 1000;
    static inline int loginRestyleDelayMs = 500;
    // Login screen: from its appearance to reading the stored password; from the password to the
    // automatic fingerprint check; the red colours of a wrong entry; the life of a warning.
    static inline int loginLoadDelayMs = 500;
    static inline int touchIdDelayMs = 1000;
    static inline int colourResetMs = 1000;
    static inline int warningResetMs = 5000;
    // The field's outline settling after it gained focus.
    static inline int focusAnimationMs = 500;
};
