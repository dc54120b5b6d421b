#ifdef MV_GUI_H_INCLUDED
    #error "Incorrect use of the mv_gui cpp file"
#endif

#include "mv_gui.h"
