#pragma once

#include <QIcon>

// An icon of the desktop's icon theme when the theme has `themeName`, else
// the program's own (":/icons/<resourceName>.svg"), so the tool bar shows on
// a desktop without an icon theme too.
QIcon AppIcon(const char* themeName, const char* resourceName);

// The program's own icon (window, about box, desktop entry).
QIcon ProgramIcon();
