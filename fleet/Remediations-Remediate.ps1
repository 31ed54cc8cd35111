<#
Remediations-Remediate.ps1 - remediation script of an Intune Remediations
script package; Remediations-Detect.ps1 is its detection script, which Intune
runs again afterwards and whose output (the post-remediation detection
output) then tells what is left, trace by trace. Intune runs it only where
the detection found a trace the cleanup removes.

It is one call: kovex-deepclean.exe in %ProgramW6432%\KovexDeepClean (with
devcon.exe beside it, which the administrator adds), which bounds its own
run (25 minutes from its start; past that it starts no more programs and
still ends with "Done."). Its exit status is always 0 and tells nothing; its
last line does. This script prints that last line and exits 0 when it is
"Done." (the cleanup ran to its end), and 1 when the program is missing,
could not be run or stopped before "Done.". It uses only core cmdlets, and
runs in ConstrainedLanguage mode.
#>
try {
    $native = $env:ProgramW6432
    if (-not $native) { $native = $env:ProgramFiles }
    $folder = Join-Path $native 'KovexDeepClean'
    $cleanup = Join-Path $folder 'kovex-deepclean.exe'
    if (-not (Test-Path -LiteralPath $cleanup -PathType Leaf)) {
        Write-Output "Not run: $cleanup is missing: install the Win32 app first"
        exit 1
    }
    # The cleanup finds devcon.exe in its working folder.
    Set-Location -LiteralPath $folder -ErrorAction Stop
    $lines = @(& $cleanup 2>$null | Where-Object { $_ -ne '' })
    if ($lines.Count -gt 0 -and $lines[-1] -eq 'Done.') {
        Write-Output 'The cleanup ran to its end (Done.)'
        exit 0
    }
    $last = 'no output'
    if ($lines.Count -gt 0) { $last = $lines[-1] }
    Write-Output "The cleanup stopped before Done.; its last line: $last"
    exit 1
}
catch {
    Write-Output "Not run: $($_.Exception.Message)"
    exit 1
}
