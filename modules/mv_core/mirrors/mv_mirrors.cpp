// Device mirrors: carry values between the unit and the parameter model.

#include "HidAutomatableParameter.cpp"
#include "HidNonAutomatableParameter.cpp"
