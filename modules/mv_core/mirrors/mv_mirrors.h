// Device mirrors: carry values between the unit and the parameter model.
#pragma once

#include "HidAutomatableParameter.h"
#include "HidNonAutomatableParameter.h"
