#include <string>
#include <vector>

#include "exec/registry.h"
#include "exec/runner.h"
#include "maker/maker.h"
#include "output/output.h"
#include "steps/steps.h"

namespace {

constexpr unsigned long kSubkeyNameChars = 260;

}  // namespace

void RemoveInstallerRegistry() {
  Print("Removing driver installer registry...\n");
  if (!RunMayActOn(L"the installer subkeys of HKLM\\" + std::wstring(kMakerKeyPath))) return;
  RegistryKey key = nullptr;
  if (OpenLocalMachineKey32(kMakerKeyPath, &key) != 0) return;

  // Collect first, delete after: deleting shifts the indexes of the subkeys
  // still to be enumerated.
  std::vector<std::wstring> doomed;
  wchar_t name[kSubkeyNameChars];
  for (unsigned long index = 0;
       EnumSubkeyName(key, index, name, kSubkeyNameChars) == 0; ++index) {
    const std::wstring subkey(name);
    if (IsInstallerSubkey(subkey)) {
      doomed.push_back(subkey);
    }
  }

  for (const std::wstring& subkey : doomed) {
    if (DeleteSubkeyTree(key, subkey.c_str()) != 0) {
      Print("\t Error deleting registry : %S\\%S\n", kMakerKeyPath,
            subkey.c_str());
    }
  }
  CloseRegistryKey(key);
}
