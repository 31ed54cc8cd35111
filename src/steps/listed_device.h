#ifndef KOVEX_STEPS_LISTED_DEVICE_H_
#define KOVEX_STEPS_LISTED_DEVICE_H_

#include <string>

// Removes the device instance that a device listing line names and reports
// the result with the line's description. A line without a colon names no
// device and is passed over without a message.
void RemoveListedDevice(const std::wstring& line);

#endif  // KOVEX_STEPS_LISTED_DEVICE_H_
