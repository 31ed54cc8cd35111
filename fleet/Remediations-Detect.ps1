<#
Remediations-Detect.ps1 - detection script of an Intune Remediations script
package, with Remediations-Remediate.ps1 as its remediation script. "Run this
script using the logged-on credentials": No (it runs as System); "Run script
in 64-bit PowerShell": either; "Enforce script signature check": No, unless
the devices' execution policy is AllSigned or RemoteSigned and the signing
certificate is in their Trusted Publishers store (with Yes, Remediations runs
the script under the device's own policy, Restricted by default on clients).

The programs must already be in %ProgramW6432%\KovexDeepClean, with
devcon.exe (the x64 Device Console of the Windows Driver Kit, which the
administrator adds), for example through the Win32 app's Install.cmd:
a script package carries no other files.

It runs "kovex-deepclean-check.exe --remediation" from that folder and passes
on its one line, which Intune shows as the detection output, and its exit
code. The check decides: it exits 1 (an issue: Intune then runs the
remediation) only when some trace is one the cleanup removes, and 0 when the
machine is clean, or when what is left waits for a reboot or needs a command
of its own (the line names it), or when it could not look. So the
remediation never runs again and again where it cannot help. Its line is
pure ASCII and at most 2,048 characters. In detection-only use (no
remediation script), or with the remediation scheduled "Once", the package
only reports whether the machines are clean.

This script exits 0 with an UNKNOWN line when the check is missing, cannot
be started, ends otherwise than with 0 or 1, or has not finished within 20
minutes (it is then ended, with its process tree). It uses only core cmdlets,
and runs in ConstrainedLanguage mode.
#>
$ErrorActionPreference = 'Stop'

# Runs $Program from $Folder, in that folder, with the call operator in a job
# of its own, and waits at most $Minutes for it: a hung program must not hold
# the engine's script for ever. On time-out it ends the program's process
# tree (taskkill /T; the program is found by its full path, so no other copy
# is touched), then the job. Returns the program's output lines, its exit code
# ($null when it could not be started or was ended) and whether it was ended.
# Only core cmdlets and the types ConstrainedLanguage mode allows; the same
# text in every script of this kit that starts a program (tests/fleet
# compares them).
function Invoke-Bounded([string]$Folder, [string]$Program, [string[]]$Arguments, [int]$Minutes) {
    $ErrorActionPreference = 'Continue'
    $path = Join-Path $Folder $Program
    $job = Start-Job -ArgumentList $Folder, $path, $Arguments -ScriptBlock {
        param([string]$Folder, [string]$Path, [string[]]$Arguments)
        Set-Location -LiteralPath $Folder
        # 2>$null keeps standard error off the error stream, where Windows
        # PowerShell 5.1 would turn each of its lines into an error record.
        $lines = & $Path @Arguments 2>$null
        $status = $LASTEXITCODE
        [pscustomobject]@{ Lines = @($lines); Status = $status }
    }
    $ended = $null -eq (Wait-Job -Job $job -Timeout ($Minutes * 60))
    if ($ended) {
        $filter = "Name = '$Program'"
        foreach ($process in @(Get-CimInstance -ClassName Win32_Process -Filter $filter)) {
            if ($process.ExecutablePath -eq $path) {
                $null = & taskkill.exe /PID $process.ProcessId /T /F 2>&1
            }
        }
        Stop-Job -Job $job
    }
    $result = Receive-Job -Job $job -ErrorAction SilentlyContinue | Select-Object -Last 1
    Remove-Job -Job $job -Force
    if ($ended -or $null -eq $result) {
        return [pscustomobject]@{ Lines = @(); Status = $null; Ended = $ended }
    }
    [pscustomobject]@{ Lines = @($result.Lines); Status = $result.Status; Ended = $false }
}

try {
    $native = $env:ProgramW6432
    if (-not $native) { $native = $env:ProgramFiles }
    $folder = Join-Path $native 'KovexDeepClean'
    $check = Join-Path $folder 'kovex-deepclean-check.exe'
    if (-not (Test-Path -LiteralPath $check -PathType Leaf)) {
        Write-Output "UNKNOWN: $check is missing"
        exit 0
    }
    $run = Invoke-Bounded $folder 'kovex-deepclean-check.exe' @('--remediation') 20
    if ($run.Ended) {
        Write-Output 'UNKNOWN: kovex-deepclean-check.exe did not finish within 20 minutes; it was ended, with its process tree'
        exit 0
    }
    $lines = @($run.Lines)
    if (($run.Status -notin 0, 1) -or ($lines.Count -eq 0)) {
        Write-Output "UNKNOWN: kovex-deepclean-check.exe could not be run as asked (exit code '$($run.Status)')"
        exit 0
    }
    Write-Output $lines[0]
    exit $run.Status
}
catch {
    Write-Output "UNKNOWN: the check could not be run: $($_.Exception.Message)"
    exit 0
}
