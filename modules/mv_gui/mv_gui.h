/*******************************************************************************
 BEGIN_JUCE_MODULE_DECLARATION

  ID:                 mv_gui
  vendor:             MV
  version:            1.0.3
  name:               MV GUI
  description:        Main-menu bar framework and GUI element identifiers.
  license:            Proprietary
  minimumCppStandard: 17

  dependencies:       juce_gui_basics mv_core

 END_JUCE_MODULE_DECLARATION
*******************************************************************************/

#pragma once
#define MV_GUI_H_INCLUDED

#include <juce_gui_basics/juce_gui_basics.h>
#include <mv_core/mv_core.h>

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "identifiers/MvGuiIds.h"
#include "fonts/EmbeddedTypefaces.h"
#include "menu/MainMenuColours.h"
#include "menu/MenuBarIcons.h"
#include "menu/MenuBarButton.h"
#include "menu/MenuBarShapeButton.h"
#include "menu/MenuBarUsbButton.h"
#include "menu/MenuBarTextButton.h"
#include "menu/MvMainMenu.h"
