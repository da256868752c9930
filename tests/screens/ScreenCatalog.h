#pragma once

#include <QString>

#include <functional>

class QWidget;

// The screens that scripts/render-screenshots.sh draws to PNG. Each area registers one scene
// function with TARN_SCREENS(area); a scene builds its widgets, brings them into the state to show
// and saves each picture with save().
namespace ScreenCatalog {

using Scene = std::function<void()>;

struct Registration
{
    Registration(const char* area, Scene scene);
};

// Writes the widget's window (or the widget itself when it is a window) as <name>.png.
void save(QWidget* widget, const QString& name);
// Runs the event loop for the given time, so that timers, animations and queued work complete.
void settle(int milliseconds);

} // namespace ScreenCatalog

#define TARN_SCREENS(area)                                                                                             \
    static void area##Scenes();                                                                                        \
    static const ScreenCatalog::Registration area##Registration(#area, area##Scenes);                                  \
    static void area##Scenes()
