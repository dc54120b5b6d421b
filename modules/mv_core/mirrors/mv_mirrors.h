#pragma once

// Device mirrors: carry values between the unit and the parameter model.
