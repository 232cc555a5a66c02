#pragma once

#include <QIcon>
#include <QPixmap>

// Indexes of the tree's images.
enum OpmlImage : int {
    kImageFolder = 0,
    kImageFeedItem = 1,
    kImageFolderSelected = 2,
    kImageFeedItemSelected = 3,
};

// The tree's images: 0 folder, 1 feed item, 2 selected folder, 3 selected
// feed item, drawn once at 16 by 16 pixels.
QPixmap TreeImage(int index);
// The window icon: a feed item over a folder.
QIcon AppIcon();
