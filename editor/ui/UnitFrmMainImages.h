#pragma once

#include <QIcon>
#include <QPixmap>

// The tree's images: 0 folder, 1 feed item, 2 selected folder, 3 selected
// feed item, drawn once at 16 by 16 pixels.
QPixmap TreeImage(int index);
// The window icon: a feed item over a folder.
QIcon AppIcon();
