/*******************************************************************************
 BEGIN_JUCE_MODULE_DECLARATION

  ID:                 mv_core
  vendor:             MV
  version:            1.0.3
  name:               MV core
  description:        Plug-in base, parameter model, host parameters, command bus and USB HID layer.
  license:            Proprietary
  minimumCppStandard: 17

  dependencies:       juce_audio_processors juce_data_structures juce_events
  linuxLibs:          udev

 END_JUCE_MODULE_DECLARATION
*******************************************************************************/

#pragma once
#define MV_CORE_H_INCLUDED

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_data_structures/juce_data_structures.h>
#include <juce_events/juce_events.h>

#include "commands/MvCommand.h"
#include "commands/CommandManager.h"
#include "params/MvParamsManager.h"
#include "params/MvDawParameter.h"
#include "plugin/MvPluginInstance.h"
#include "plugin/MvValueTreeStream.h"
#include "hid/mv_hid.h"
#include "mirrors/mv_mirrors.h"
