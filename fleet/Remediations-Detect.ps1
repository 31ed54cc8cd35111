<#
Remediations-Detect.ps1 - detection script of an Intune Remediations script
package, with Remediations-Remediate.ps1 as its remediation script. "Run this
script using the logged-on credentials": No (it runs as System); "Run script
in 64-bit PowerShell": either; "Enforce script signature check": No, unless
the devices' execution policy is AllSigned or RemoteSigned and the signing
certificate is in their Trusted Publishers store (with Yes, Remediations runs
the script under the device's own policy, Restricted by default on clients).
Schedule it recurring (daily), assigned to the devices the Win32 app is
assigned to: a detection that runs before the app has put the programs
there reports UNKNOWN, and a package scheduled "Once" would keep that.

The programs must already be in %ProgramW6432%\KovexDeepClean, with
devcon.exe (the x64 Device Console of the Windows Driver Kit, which the
administrator adds), for example through the Win32 app's Install.cmd:
a script package carries no other files.

It is one call: "kovex-deepclean-check.exe --remediation" in that folder,
whose one line (pure ASCII, at most 2,048 characters) Intune shows as the
detection output, and whose exit code it passes on. The check decides: 1
(an issue: Intune then runs the remediation) only when some trace is one the
cleanup removes; 0 when the machine is clean, or when what is left waits for
a reboot or needs a command of its own (the line says PENDING and names
it), or when it could not look (UNKNOWN). The check bounds its own run (5
minutes for all its listings). Only 0 and 1 are passed on: when the check
or devcon.exe is missing, the check cannot be started or ends otherwise (3, a bad command line;
anything else), this script prints an UNKNOWN line and exits 0, so that
Intune never runs the cleanup for a check that did not answer. It uses only
core cmdlets, and runs in ConstrainedLanguage mode.
#>
try {
    $native = $env:ProgramW6432
    if (-not $native) { $native = $env:ProgramFiles }
    $folder = Join-Path $native 'KovexDeepClean'
    $check = Join-Path $folder 'kovex-deepclean-check.exe'
    if (-not (Test-Path -LiteralPath $check -PathType Leaf)) {
        Write-Output "UNKNOWN: $check is missing: install the Win32 app first"
        exit 0
    }
    # Without devcon.exe the check could list nothing.
    $devcon = Join-Path $folder 'devcon.exe'
    if (-not (Test-Path -LiteralPath $devcon -PathType Leaf)) {
        Write-Output "UNKNOWN: $devcon is missing: put the x64 devcon.exe of the Windows Driver Kit beside the programs"
        exit 0
    }
    # The check looks for devcon.exe in its working folder. 2>$null keeps
    # its standard error off the error stream, where Windows PowerShell 5.1
    # would turn each line into an error record.
    Set-Location -LiteralPath $folder -ErrorAction Stop
    $lines = @(& $check --remediation 2>$null)
    $status = $LASTEXITCODE
    if (($status -eq 0 -or $status -eq 1) -and $lines.Count -gt 0) {
        Write-Output $lines[0]
        exit $status
    }
    Write-Output "UNKNOWN: kovex-deepclean-check.exe could not be run as asked (exit code '$status')"
    exit 0
}
catch {
    # A program that fails to start throws a message of several lines (the
    # script's line and position after it): Intune's output is one line of
    # at most 2,048 characters.
    $line = "UNKNOWN: the check could not be run: $($_.Exception.Message)" -replace '\s+', ' '
    if ($line.Length -gt 2048) { $line = $line.Substring(0, 2048) }
    Write-Output $line
    exit 0
}
