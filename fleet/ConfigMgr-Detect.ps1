<#
ConfigMgr-Detect.ps1 - detection method of a Configuration Manager
application's Script Installer deployment type: "Use a custom script to
detect the presence of this deployment type", script type PowerShell.

Configuration Manager reads a detection script by its exit code and its two
output streams:
  exit 0, output on standard output, none on standard error  installed
  exit 0, nothing on either stream                            not installed
  exit 0, nothing on standard output, some on standard error  unknown (failure)
  exit non-zero                                               unknown (failure)
Installed here means: this version's cleanup ran to its end. Install.cmd
writes the marker cleanup-done-<version>.txt in %ProgramW6432%\KovexDeepClean
once cleanup.log ends with "Done."; this script writes one line when that
file is there, and nothing otherwise, and always exits 0. It runs nothing:
a trace the cleanup cannot remove, or the maker's software installed again,
never makes the client install again at its re-evaluation; a new version of
this kit runs once more. Whether the machine is clean is reported apart (the
collector, the playbook).

The client's default PowerShell execution policy (client setting "Computer
Agent", "PowerShell execution policy") is All Signed: sign this script (see
README.md in this folder) or set that policy to Bypass. It uses only core
cmdlets, and runs in ConstrainedLanguage mode.
#>
$native = $env:ProgramW6432
if (-not $native) { $native = $env:ProgramFiles }
$marker = Join-Path $native 'KovexDeepClean\cleanup-done-@KOVEX_VERSION@.txt'
if (Test-Path -LiteralPath $marker -PathType Leaf) {
    Write-Output 'Kovex Deep Clean @KOVEX_VERSION@: the cleanup ran to its end'
}
exit 0
