// Device mirrors: carry values between the unit and the parameter model.
#pragma once

#include "HidValueExchange.h"
#include "HidAutomatableParameter.h"
#include "HidNonAutomatableParameter.h"
