#ifndef KOVEX_STEPS_STEPS_H_
#define KOVEX_STEPS_STEPS_H_

// The six cleanup steps, in the order the run performs them. Each prints its
// own heading and item lines, acts whatever the steps before it did, and
// reports its own failures; none stops the run.

// Removes every device instance listed for the maker's USB vendor ID or its
// second brand name.
void RemoveDevices();

// Removes the audio endpoints whose listing line names the maker or its
// second brand.
void RemoveAudioDevices();

// Deletes the maker's driver packages from the driver store.
void RemoveDriverPackages();

// Deletes the maker's kernel driver files from the system's driver directory.
void RemoveDriverFiles();

// Deletes the driver installers' subkeys under the maker's registry key.
void RemoveInstallerRegistry();

// Has the device console tool scan for hardware changes.
void RescanDevices();

#endif  // KOVEX_STEPS_STEPS_H_
