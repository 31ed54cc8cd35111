<#
Detect.ps1 - detection rule of the Intune Win32 app: "Use a custom detection
script", "Run script as 32-bit process on 64-bit clients": No (either works),
"Enforce script signature check": No, unless the script is signed and the
devices trust its certificate (see README.md in this folder).

Intune counts the app as detected (installed) when the script exits 0 and
writes to standard output, and as not detected otherwise. Detected here
means: this version's cleanup ran to its end. Install.cmd writes the marker
cleanup-done-<version>.txt in %ProgramW6432%\KovexDeepClean once cleanup.log
ends with "Done."; this script looks for that file alone and runs nothing.
So a trace the cleanup cannot remove, or the maker's software installed
again afterwards, never makes Intune run the cleanup again; a new version of
this kit, with a marker of its own, runs once more. Whether the machine is
clean is reported apart (Remediations-Detect.ps1, the collector, the
playbook).

It uses only core cmdlets, and runs in ConstrainedLanguage mode.
#>
$native = $env:ProgramW6432
if (-not $native) { $native = $env:ProgramFiles }
$marker = Join-Path $native 'KovexDeepClean\cleanup-done-@KOVEX_VERSION@.txt'
if (Test-Path -LiteralPath $marker -PathType Leaf) {
    Write-Output 'Kovex Deep Clean @KOVEX_VERSION@: the cleanup ran to its end'
    exit 0
}
exit 1
