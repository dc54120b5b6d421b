#ifdef MV_GUI_H_INCLUDED
    /* When you add this cpp file to your project, you mustn't include it in a file where you've
       already included any other headers - just put it inside a file on its own, possibly with your config
       flags preceding it, but don't include anything else.
    */
    #error "Incorrect use of the mv_gui cpp file"
#endif

#include "mv_gui.h"

// The menu-bar text buttons draw in Lato Bold, embedded by the product's
// font resource target (namespace FontBinaryData), which every target that
// compiles this module links.
#include <FontBinaryData.h>

#include "fonts/EmbeddedTypefaces.cpp"
#include "menu/MenuBarIcons.cpp"
#include "menu/MenuBarButton.cpp"
#include "menu/MenuBarShapeButton.cpp"
#include "menu/MenuBarUsbButton.cpp"
#include "menu/MenuBarTextButton.cpp"
#include "menu/MvMainMenu.cpp"
