// Device mirrors: carry values between the unit and the parameter model.

#include "HidValueExchange.cpp"
#include "HidAutomatableParameter.cpp"
#include "HidNonAutomatableParameter.cpp"
